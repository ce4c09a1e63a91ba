// A scripted HTTP(S) server on 127.0.0.1 for tests: each request gets a reply written as raw
// steps (bytes, pauses, an abrupt close, no answer at all), so a test can send exactly the
// truncated, slow or malformed answer it needs. It records every request it reads.
//
//   testsupport::ScriptedHttpServer server;                  // a free port, its own thread
//   server.on("/a.zip", testsupport::Reply::ok("hello"));    // every GET /a.zip
//   server.on("/slow", testsupport::Reply()
//                          .head("HTTP/1.1 200 OK", {"Content-Length: 10"})
//                          .send("12345").pause(std::chrono::milliseconds(50)).reset());
//   server.enqueue(testsupport::Reply::redirect(302, "/a.zip"));  // next unrouted request
//   client.get(server.url("/a.zip"), sink);
//   EXPECT_EQ(server.requests().at(0).header("Accept"), "...");
//
// HTTPS: make certificates with TestCertificates and pass them in:
//   testsupport::TestCertificates pki;                         // CA + cert for 127.0.0.1
//   testsupport::ScriptedHttpServer tls(pki.serverTls());      // url() now gives https://
//   client.ioHandler().setCaFileForTests(pki.caFile());
//
// To keep the pieces of a body apart, let the client's events pace the server:
//   server.on("/f", Reply().head(...).send("a").awaitRelease().send("bc"));
//   client.onWork = [&](std::int64_t) { server.release(); };
//
// Connections are kept alive: after a reply that does not close, the server reads the next
// request on the same connection. A request with no route and nothing queued gets
// "HTTP/1.1 404 Not Found" with an empty body.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace testsupport {

// One scripted answer: steps run in order on the connection.
class Reply {
public:
  struct Send {
    std::string bytes;
  };
  struct Pause {
    std::chrono::milliseconds duration;
  };
  struct Close {};  // orderly close (TLS close_notify, then FIN); no later step runs
  struct Reset {};  // abortive close (RST); no later step runs
  struct Hang {};   // send nothing more; hold the connection until the client or server ends
  // Wait until the test calls ScriptedHttpServer::release() (one release lets one wait pass),
  // so that what follows reaches the client only after it has taken in what came before.
  struct AwaitRelease {};
  using Step = std::variant<Send, Pause, Close, Reset, Hang, AwaitRelease>;

  Reply& send(std::string bytes);
  Reply& pause(std::chrono::milliseconds duration);
  Reply& close();
  Reply& reset();
  Reply& hang();
  Reply& awaitRelease();
  // The status line, each header line and the blank line, with CR LF added.
  Reply& head(const std::string& statusLine, const std::vector<std::string>& headers = {});
  // One chunk of a chunked body (hex size, CR LF, data, CR LF); an empty one is the last.
  Reply& chunk(const std::string& data);

  // A whole response with "Content-Length" added after the given headers.
  static Reply response(const std::string& statusLine, const std::vector<std::string>& headers,
                        const std::string& body);
  static Reply ok(const std::string& body) { return response("HTTP/1.1 200 OK", {}, body); }
  static Reply redirect(int status, const std::string& location, const std::string& body = "");

  const std::vector<Step>& steps() const { return steps_; }

private:
  std::vector<Step> steps_;
};

// A request as the server read it.
struct RecordedRequest {
  std::string method;
  std::string target;   // as in the request line: path and query
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  int connection = 0;  // 1 for the first connection accepted, 2 for the next, ...

  // The value of the first header of that name (case-insensitive), if there is one.
  std::optional<std::string> header(const std::string& name) const;
};

struct TlsFiles {
  std::filesystem::path certFile;  // PEM server certificate (chain)
  std::filesystem::path keyFile;   // PEM private key
};

class ScriptedHttpServer {
public:
  ScriptedHttpServer();                       // plain HTTP
  explicit ScriptedHttpServer(TlsFiles tls);  // HTTPS
  ~ScriptedHttpServer();                      // ends every connection and joins the threads
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" (or https) followed by path, which should begin with "/".
  std::string url(const std::string& path) const;

  // Every request whose target equals `target` gets this reply (replaces an earlier route).
  void on(const std::string& target, Reply reply);
  // A request without a route takes the oldest queued reply.
  void enqueue(Reply reply);

  std::vector<RecordedRequest> requests() const;
  int connectionCount() const;

  // Lets one awaitRelease() step pass, now or when it comes; safe from any thread. Call it
  // from the client's own event (a body step, say) to keep the pieces of a body apart: no
  // timed pause, so no race with a loaded machine. A step waits at most kReleaseWait, then
  // goes on, so a test that forgets to release fails on its assertions rather than hanging.
  void release();
  static constexpr std::chrono::seconds kReleaseWait{20};

private:
  explicit ScriptedHttpServer(std::optional<TlsFiles> tls);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::uint16_t port_ = 0;
};

// A throw-away PKI in its own temporary directory (removed by the destructor): a test CA and a
// server certificate signed by it, for the DNS names and IP addresses given.
class TestCertificates {
public:
  explicit TestCertificates(const std::vector<std::string>& dnsNames = {"localhost"},
                            const std::vector<std::string>& ipAddresses = {"127.0.0.1"});
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  const std::filesystem::path& caFile() const { return caFile_; }
  TlsFiles serverTls() const { return {certFile_, keyFile_}; }

private:
  std::filesystem::path dir_, caFile_, certFile_, keyFile_;
};

}  // namespace testsupport
