// Our HTTP/1.1 client on libcurl: one GET of an http or https URL into a caller-owned sink,
// with cookies kept per client, optional redirects followed by this layer (so that every body
// read raises its own transfer events), a read time-out per wait for data, and TLS through
// OpenSSL with the server certificate and host name verified.
//
// Threads: a client belongs to the thread that uses it; every event runs on that thread, inside
// get(). Call net::globalInit() once from main() before any thread starts.
//
//   net::globalInit();                       // in main()
//   net::HttpClient client;
//   client.setReadTimeout(std::chrono::milliseconds(30000));
//   net::MemorySink body(4 * 1024 * 1024);
//   client.get("https://example.invalid/file.txt", body);   // throws net::HttpError, ...
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/BodySink.h"
#include "net/Error.h"
#include "net/TlsIoHandler.h"

namespace net {

// The libcurl side of a client, inside net/ only (net/Exchange.h).
struct CurlHandle;
struct ExchangeOutcome;

// Initialises libcurl for the whole process. Call from main() before any thread starts (later
// calls do nothing). Tests call it in a fixture.
void globalInit();

// What a completed get() returns. A GET that ran into the redirect limit returns normally with
// redirectLimitHit set, and the sink holds no body.
struct Response {
  long status = 0;
  std::string statusLine;  // as received, without CR LF
  std::string url;         // the URL of the last request made
  bool redirectLimitHit = false;
};

class HttpClient {
public:
  // Consecutive redirects one get() follows; the next redirect response ends the GET.
  static constexpr int kMaxRedirects = 15;
  // How long a redirect's body may take to begin before we stop waiting for it.
  static constexpr std::chrono::milliseconds kRedirectBodyWait{5000};
  // Pieces of a body reach the sink and the onWork event in at most this many bytes.
  static constexpr std::size_t kPieceSize = 32768;
  // What one read from the connection may take in; larger than a piece, so that a fast
  // transfer costs fewer system calls. Bodies are still reported in pieces of kPieceSize.
  static constexpr std::size_t kReceiveBufferSize = 4 * kPieceSize;
  // Response headers of one response above this size break the transfer off.
  static constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

  static constexpr const char* kAccept =
      "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
  static constexpr const char* kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

  HttpClient();
  virtual ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Sends GET requests for url (http or https) and writes the final body into sink from its
  // position at the call. Returns when the final response has a status of 200..299, or when
  // the redirect limit is hit. Throws HttpError for another final status (after reading and
  // dropping its body), TransportError for a failure to get an answer or a broken-off body,
  // or whatever a sink or event handler threw. The sink keeps the final body's bytes received
  // before a failure. A redirect from https to plain http is never followed: that response
  // ends the GET as an error response would, with HttpError and its status line, marked
  // Retry::Futile. Each error says whether a repeat could end otherwise (net/Error.h).
  Response get(const std::string& url, BodySink& sink);

  // Transfer events, one slot each, on the calling thread inside get(), for every response
  // body read: the final one, and the bodies of redirects and error responses that are read
  // and dropped. onWorkBegin(announced length, or 0 when none is announced) once the headers
  // are in; onWork(bytes of this body so far) after each piece; onWorkEnd() once when the
  // reading of that body ends, also after it broke off, before get() returns or throws.
  // A response without a body, or with an announced length of 0, raises none.
  std::function<void(std::int64_t expected)> onWorkBegin;
  std::function<void(std::int64_t countSoFar)> onWork;
  std::function<void()> onWorkEnd;

  // Every request carries "Authorization: Basic ..." built from the URL's user information,
  // or from an empty user name and password ("Basic Og=="). Off by default; when off, only a
  // URL with user information sends the header.
  void setBasicAuthByDefault(bool on) { basicAuthByDefault_ = on; }
  // Off by default: a redirect status is then a final response and fails the GET.
  void setFollowRedirects(bool on) { followRedirects_ = on; }
  // Limit on each wait for incoming data (status line, headers, body, TLS handshake), not on
  // the whole transfer; zero waits without limit. Default 30000 ms. Fails with "Read timed out.".
  void setReadTimeout(std::chrono::milliseconds timeout) { readTimeout_ = timeout; }
  // Limit on making the connection; zero leaves it to the platform (and libcurl's own cap).
  void setConnectTimeout(std::chrono::milliseconds timeout) { connectTimeout_ = timeout; }
  // Limit on the whole get(), from its start to its end whatever the server does (trickling a
  // byte, a header line or an interim response at a time resets no clock); zero means none,
  // the default. Fails with "Read timed out." like the read time-out.
  void setTotalTimeout(std::chrono::milliseconds timeout) { totalTimeout_ = timeout; }
  std::chrono::milliseconds totalTimeout() const { return totalTimeout_; }
  // FOR TESTS ONLY: how long a redirect's body may take to begin (kRedirectBodyWait otherwise).
  void setRedirectBodyWaitForTests(std::chrono::milliseconds wait) { redirectBodyWait_ = wait; }

  // The TLS settings used for https. The client has its own; setIoHandler installs another
  // that the caller owns and keeps alive while the client uses it (nullptr: back to its own).
  void setIoHandler(TlsIoHandler* handler) { ioHandler_ = handler ? handler : &ownIoHandler_; }
  TlsIoHandler& ioHandler() { return *ioHandler_; }

private:
  ExchangeOutcome exchange(const std::string& url, BodySink& sink, bool followThisRedirect,
                           std::optional<std::chrono::steady_clock::time_point> deadline);

  std::unique_ptr<CurlHandle> curl_;
  TlsIoHandler ownIoHandler_;
  TlsIoHandler* ioHandler_ = &ownIoHandler_;
  bool basicAuthByDefault_ = false;
  bool followRedirects_ = false;
  std::chrono::milliseconds readTimeout_{30000};
  std::chrono::milliseconds connectTimeout_{0};
  std::chrono::milliseconds totalTimeout_{0};
  std::chrono::milliseconds redirectBodyWait_{kRedirectBodyWait};
};

}  // namespace net
