// Inside net/ only: one request and its response over libcurl. The callbacks that take the
// response in and raise the transfer events of its body, and the loop that runs the transfer on
// the calling thread under the read time-out and the deadline.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "net/ResponseHead.h"

namespace net {

class BodySink;

// A client's libcurl handles: one easy handle (its connections and its cookies) in a multi
// handle of its own. Made with the exchange's callbacks installed; the client adds its options.
struct CurlHandle {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
  std::string defaultCaFile;  // libcurl's built-in bundle: the system's trusted certificates

  CurlHandle();  // throws Error when libcurl cannot make the handles
  ~CurlHandle() { cleanup(); }
  CurlHandle(const CurlHandle&) = delete;
  CurlHandle& operator=(const CurlHandle&) = delete;

private:
  void cleanup();
};

// How one request ended, as far as get() needs to know.
struct ExchangeOutcome {
  ResponseKind kind = ResponseKind::Error;
  long status = 0;
  std::string statusLine;
  std::string location;
};

// The client's transfer event slots, read each time an event is raised.
struct WorkEvents {
  const std::function<void(std::int64_t expected)>& begin;
  const std::function<void(std::int64_t countSoFar)>& step;
  const std::function<void()>& end;
};

// What bounds one request.
struct ExchangeLimits {
  std::chrono::milliseconds readTimeout;       // on each wait for data; zero: none
  std::chrono::milliseconds redirectBodyWait;  // for the body of a redirect to begin
  std::optional<std::chrono::steady_clock::time_point> deadline;  // the end of the whole get()
  std::size_t pieceSize;                                          // most bytes one step reports
  std::size_t maxHeaderBytes;                                     // of one response's headers
};

// The state of one request and its response, shared with the libcurl callbacks. The final
// response's body goes to the sink; any other body is read and dropped. Each body raises
// begin, steps and end as HttpClient describes.
class Exchange {
public:
  using Clock = std::chrono::steady_clock;

  // mayRedirect: a redirect response with a Location is to be followed, not an error.
  Exchange(CurlHandle& curl, BodySink& sink, WorkEvents events, const ExchangeLimits& limits,
           bool mayRedirect)
      : curl_(curl), sink_(sink), events_(events), limits_(limits), mayRedirect_(mayRedirect) {}

  // GETs url (without user information) with these request headers on top of libcurl's, and
  // says how the response ended. Throws TransportError when no whole answer came, or whatever a
  // sink or event handler threw. A redirect whose body does not begin within redirectBodyWait
  // ends as a redirect without it.
  ExchangeOutcome perform(const std::string& url, const curl_slist* headers);

private:
  friend struct CurlHandle;
  enum class Body { None, Final, Drop };

  void startResponse(std::string_view line);
  void endOfHeaders();
  void begin(std::int64_t expected);
  void piece(const char* data, std::size_t size);
  void reportSteps();
  void end();
  std::optional<std::chrono::milliseconds> waitLimit() const;
  std::optional<Clock::duration> timeLeft() const;
  bool redirectBodySkipped() const;
  void sawData();
  bool socketConnected() const;
  CURLcode run();
  ExchangeOutcome conclude(CURLcode result);

  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onBody(char* data, size_t size, size_t count, void* self);
  static int onSocket(void* self, curl_socket_t socket, curlsocktype);
  static int onConnected(void* self, char*, char*, int, int);

  CurlHandle& curl_;
  BodySink& sink_;
  WorkEvents events_;
  ExchangeLimits limits_;
  bool mayRedirect_;

  // The response being received; reset by every status line (an interim 1xx comes first).
  ResponseHead head_;
  std::size_t headerBytes_ = 0;
  bool headersDone_ = false;
  long status_ = 0;
  ResponseKind kind_ = ResponseKind::Error;

  // The body and its events.
  Body body_ = Body::None;
  bool begun_ = false;
  bool ended_ = false;
  std::int64_t count_ = 0;     // bytes of this body taken in
  std::int64_t reported_ = 0;  // bytes of this body that onWork has been told of

  // The read time-out: runs from the connection on, restarted by every byte that arrives.
  bool connected_ = false;
  curl_socket_t socket_ = CURL_SOCKET_BAD;
  Clock::time_point lastData_{};
  bool timedOut_ = false;
  bool headersTooLarge_ = false;
  std::exception_ptr failure_;
};

}  // namespace net
