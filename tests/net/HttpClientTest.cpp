#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "tests/net/ClientFixture.h"

namespace nettest {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// ---- what goes out ------------------------------------------------------------------------

TEST_F(ClientTest, SendsTheFixedRequestHeadersAndNoCompression) {
  server.on("/v.txt", Reply::ok("x"));
  ASSERT_EQ(fetch(server.url("/v.txt")), "");
  const auto request = server.requests().at(0);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.version, "HTTP/1.1");
  EXPECT_EQ(request.header("Accept"), net::HttpClient::kAccept);
  EXPECT_EQ(request.header("User-Agent"), net::HttpClient::kUserAgent);
  EXPECT_EQ(request.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_FALSE(request.header("Accept-Encoding"));
  EXPECT_FALSE(request.header("Authorization"));
}

TEST_F(ClientTest, AuthorizationHeaderComesFromTheUrlOrIsEmptyBasicByDefault) {
  struct Case {
    const char* name;
    bool basicByDefault;
    std::string userInfo;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"off, no user info", false, "", std::nullopt},
      {"on, no user info", true, "", "Basic Og=="},
      {"on, user and password", true, "alice:s3cret@", "Basic YWxpY2U6czNjcmV0"},
      {"off, user and password", false, "alice:s3cret@", "Basic YWxpY2U6czNjcmV0"},
      {"percent-encoded", true, "a%40b:p%3Aw@", "Basic YUBiOnA6dw=="},
  };
  server.on("/f", Reply::ok("x"));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    client.setBasicAuthByDefault(c.basicByDefault);
    ASSERT_EQ(fetch("http://" + c.userInfo + "127.0.0.1:" + std::to_string(server.port()) + "/f"),
              "");
    EXPECT_EQ(server.requests().back().header("Authorization"), c.expected);
  }
}

TEST_F(ClientTest, KeepsCookiesPerClientAndSendsThemBack) {
  server.enqueue(Reply::response("HTTP/1.1 200 OK", {"Set-Cookie: session=abc; Path=/"}, "1"));
  server.enqueue(Reply::ok("2"));
  server.enqueue(Reply::ok("3"));
  ASSERT_EQ(fetch(server.url("/first")), "");
  ASSERT_EQ(fetch(server.url("/second")), "");
  EXPECT_EQ(server.requests().at(1).header("Cookie"), "session=abc");

  net::HttpClient other;  // another client has its own, empty store
  net::MemorySink sink(100);
  other.get(server.url("/third"), sink);
  EXPECT_FALSE(server.requests().at(2).header("Cookie"));
}

// ---- the body and its events --------------------------------------------------------------

TEST_F(ClientTest, WritesTheBodyAfterTheSinksPositionInPiecesOfAtMost32K) {
  std::string payload(100000, '\0');
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
  server.on("/big", Reply()
                        .head("HTTP/1.1 200 OK", {"Content-Length: 100000"})
                        .send(payload.substr(0, 40000))
                        .send(payload.substr(40000)));
  body.write("ab", 2);
  ASSERT_EQ(fetch(server.url("/big")), "");
  EXPECT_EQ(body.data(), "ab" + payload);

  ASSERT_GE(log.events.size(), 5u);
  EXPECT_EQ(log.events.front(), "begin 100000");
  EXPECT_EQ(log.events.back(), "end");
  std::int64_t previous = 0;
  for (std::size_t i = 1; i + 1 < log.events.size(); ++i) {
    const auto count = std::stoll(log.events[i].substr(5));
    EXPECT_GT(count, previous);
    EXPECT_LE(count - previous, 32768);
    previous = count;
  }
  EXPECT_EQ(previous, 100000);
}

struct BodyCase {
  const char* name;
  Reply reply;
  std::string error;  // "" for success
  std::string body;   // what the sink holds afterwards
  Events events;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const BodyCase& row, std::ostream* out) {
  *out << row.name;
}

class BodyEvents : public ClientTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(BodyEvents, RaisesEventsForEveryBodyRead) {
  server.on("/r", GetParam().reply);
  EXPECT_EQ(fetch(server.url("/r")), GetParam().error);
  EXPECT_EQ(body.data(), GetParam().body);
  EXPECT_EQ(log.events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, BodyEvents,
    ::testing::Values(
        BodyCase{"Length", Reply::ok("hello"), "", "hello", {"begin 5", "step 5", "end"}},
        BodyCase{"LengthZero", Reply::ok(""), "", "", {}},
        BodyCase{"NoContent", Reply().head("HTTP/1.1 204 No Content"), "", "", {}},
        BodyCase{"Chunked",
                 Reply()
                     .head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"})
                     .chunk("abc")
                     .awaitRelease()
                     .chunk("de")
                     .chunk(""),
                 "",
                 "abcde",
                 {"begin 0", "step 3", "step 5", "end"}},
        BodyCase{"UntilClose",
                 Reply().head("HTTP/1.1 200 OK", {"Connection: close"}).send("xyz").close(),
                 "",
                 "xyz",
                 {"begin 0", "step 3", "end"}},
        BodyCase{"NotFoundWithBody",
                 Reply::response("HTTP/1.1 404 Not Found", {}, "gone!"),
                 "HTTP/1.1 404 Not Found",
                 "",
                 {"begin 5", "step 5", "end"}},
        BodyCase{"NotFoundEmpty",
                 Reply::response("HTTP/1.1 404 Not Found", {}, ""),
                 "HTTP/1.1 404 Not Found",
                 "",
                 {}},
        BodyCase{"NotModified",
                 Reply().head("HTTP/1.1 304 Not Modified"),
                 "HTTP/1.1 304 Not Modified",
                 "",
                 {}},
        BodyCase{"StatusLineAsReceived",
                 Reply::response("HTTP/1.1 500 Interner  Fehler (x)", {}, ""),
                 "HTTP/1.1 500 Interner  Fehler (x)",
                 "",
                 {}},
        BodyCase{"RedirectNotFollowed",
                 Reply::redirect(302, "/elsewhere", "moved"),
                 "HTTP/1.1 302 Redirect",
                 "",
                 {"begin 5", "step 5", "end"}},
        BodyCase{"Unauthorized",
                 Reply::response("HTTP/1.1 401 Unauthorized", {"WWW-Authenticate: Basic"}, ""),
                 "HTTP/1.1 401 Unauthorized",
                 "",
                 {}},
        BodyCase{"InterimResponseFirst",
                 Reply()
                     .send("HTTP/1.1 100 Continue\r\n\r\n")
                     .head("HTTP/1.1 200 OK", {"Content-Length: 2"})
                     .send("ok"),
                 "",
                 "ok",
                 {"begin 2", "step 2", "end"}}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- redirects ----------------------------------------------------------------------------

TEST_F(ClientTest, FollowsRedirectsReadingEachBodyAndKeepsOnlyTheFinalOne) {
  client.setFollowRedirects(true);
  server.on("/dir/start", Reply::redirect(301, "../other/next?x=1", "first"));
  server.on("/other/next?x=1",
            Reply::redirect(307, server.url("/final"), ""));  // absolute, no body
  server.on("/final", Reply::ok("the end"));
  body.write("KEEP", 4);
  const auto response = client.get(server.url("/dir/start"), body);
  EXPECT_EQ(response.statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(response.url, server.url("/final"));
  EXPECT_EQ(body.data(), "KEEPthe end");
  EXPECT_EQ(log.events, (Events{"begin 5", "step 5", "end", "begin 7", "step 7", "end"}));
  std::vector<std::string> targets;
  for (const auto& r : server.requests()) targets.push_back(r.target);
  EXPECT_THAT(targets, ElementsAre("/dir/start", "/other/next?x=1", "/final"));
}

TEST_F(ClientTest, StopsWithoutErrorAndWithoutBodyAfterTheRedirectLimit) {
  client.setFollowRedirects(true);
  server.on("/loop", Reply::redirect(302, "/loop"));
  const auto response = client.get(server.url("/loop"), body);
  EXPECT_TRUE(response.redirectLimitHit);
  EXPECT_EQ(server.requests().size(), std::size_t{net::HttpClient::kMaxRedirects + 1});
  EXPECT_THAT(body.data(), IsEmpty());
}

TEST_F(ClientTest, GivesUpWaitingForARedirectBodyThatDoesNotBegin) {
  client.setFollowRedirects(true);
  client.setRedirectBodyWaitForTests(150ms);
  server.on("/a",
            Reply().head("HTTP/1.1 302 Found", {"Location: /b", "Content-Length: 10"}).hang());
  server.on("/b", Reply::ok("B"));
  ASSERT_EQ(fetch(server.url("/a")), "");
  EXPECT_EQ(body.data(), "B");
  EXPECT_EQ(log.events, (Events{"begin 10", "end", "begin 1", "step 1", "end"}));
}

TEST_F(ClientTest, RedirectWithoutLocationOr304IsAFinalError) {
  client.setFollowRedirects(true);
  server.on("/nolocation", Reply::response("HTTP/1.1 302 Found", {}, ""));
  server.on("/304", Reply().head("HTTP/1.1 304 Not Modified", {"Location: /x"}));
  EXPECT_EQ(fetch(server.url("/nolocation")), "HTTP/1.1 302 Found");
  EXPECT_EQ(fetch(server.url("/304")), "HTTP/1.1 304 Not Modified");
}

TEST_F(ClientTest, OtherSchemesAreAnUnknownProtocol) {
  client.setFollowRedirects(true);
  server.on("/to-ftp", Reply::redirect(302, "ftp://127.0.0.1/file"));
  for (const std::string& url :
       std::vector<std::string>{"ftp://127.0.0.1/x", "file:///etc/hostname", "gopher://h:70/",
                                "127.0.0.1/no-scheme", server.url("/to-ftp")}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(fetch(url), "Unknown Protocol");
  }
}

// ---- transport failures -------------------------------------------------------------------

TEST_F(ClientTest, ConnectionRefusedGivesTheClientsText) {
  // A port that was free a moment ago, with nobody listening on it now.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  const std::string error =
      fetch("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x");
  EXPECT_THAT(error, HasSubstr("onnect"));
  EXPECT_THAT(log.events, IsEmpty());
}

// A listener whose backlog is full drops further SYNs, so a connect there never completes.
TEST_F(ClientTest, ConnectTimeOutLimitsAConnectThatNeverCompletes) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {  // more than the backlog holds; the surplus ones just wait
    fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  client.setConnectTimeout(300ms);
  const auto start = std::chrono::steady_clock::now();
  const std::string error =
      fetch("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x");
  const auto took = std::chrono::steady_clock::now() - start;
  for (int fd : fillers) ::close(fd);
  ::close(listener);
  // The promise is that the attempt ends, with an error, long before the system would give up
  // on its own (minutes); libcurl words the error differently depending on which timer fires.
  EXPECT_THAT(error, ::testing::Not(IsEmpty()));
  EXPECT_NE(error, "Read timed out.");
  EXPECT_LT(took, 30s);
}

TEST_F(ClientTest, ReadTimeOutLimitsEachWaitNotTheWholeTransfer) {
  // Six waits of 300 ms add up to more than the limit; none of them reaches it.
  client.setReadTimeout(1000ms);
  Reply slow;
  slow.head("HTTP/1.1 200 OK", {"Content-Length: 6"});
  for (char c : std::string("123456")) slow.pause(300ms).send(std::string(1, c));
  server.on("/slow", slow);
  server.on("/silent", Reply().hang());
  server.on("/stalls",
            Reply().head("HTTP/1.1 200 OK", {"Content-Length: 10"}).send("123456").hang());

  EXPECT_EQ(fetch(server.url("/slow")), "");
  EXPECT_EQ(body.take(), "123456");

  log.events.clear();
  EXPECT_EQ(fetch(server.url("/silent")), "Read timed out.");
  EXPECT_THAT(log.events, IsEmpty());

  EXPECT_EQ(fetch(server.url("/stalls")), "Read timed out.");
  EXPECT_EQ(body.data(), "123456");
  EXPECT_EQ(log.events, (Events{"begin 10", "step 6", "end"}));
}

// Replies that are not HTTP, or not valid HTTP: each must end in an error or a result, soon.
TEST_F(ClientTest, MalformedRepliesFailCleanly) {
  struct Case {
    const char* name;
    std::string raw;
    bool succeeds;
  };
  const Case cases[] = {
      {"not HTTP at all", "SSH-2.0-OpenSSH_9.2\r\n", false},
      {"garbage status line", "HTTP/1.1 abc\r\n\r\n", false},
      {"HTTP/2 status line, taken as given", "HTTP/2 200\r\n\r\n", true},
      {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n",
       false},
      {"huge chunk size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFF\r\nab\r\n",
       false},
      {"chunk longer than its size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabcdef\r\n0\r\n\r\n", false},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc", false},
      {"binary junk", std::string("\x00\xff\x13\x37\r\n\r\n", 8), false},
  };
  client.setReadTimeout(500ms);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.enqueue(Reply().send(c.raw).close());
    const std::string error = fetch(server.url("/m"));
    EXPECT_EQ(error.empty(), c.succeeds) << error;
    EXPECT_NE(error, "Read timed out.");
  }
}

TEST_F(ClientTest, OversizedHeadersBreakTheTransferOff) {
  const struct {
    const char* name;
    std::vector<std::string> headers;
  } cases[] = {
      {"many lines", std::vector<std::string>(net::HttpClient::kMaxHeaderBytes / 64,
                                              "X-Filler: " + std::string(54, 'a'))},
      {"one line past the library's own limit", {"X-Filler: " + std::string(300000, 'a')}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> headers = c.headers;
    headers.push_back("Content-Length: 1");
    server.enqueue(Reply().head("HTTP/1.1 200 OK", headers).send("x"));
    EXPECT_EQ(fetch(server.url("/h")), "The response headers are too large.");
    EXPECT_THAT(log.events, IsEmpty());
  }
}

// A server that keeps sending, a little at a time, never lets a wait for data run out; the
// total limit ends the GET all the same.
TEST_F(ClientTest, TotalTimeOutEndsAServerThatTrickles) {
  Reply headerLines, bodyBytes, interimResponses;
  headerLines.send("HTTP/1.1 200 OK\r\n");
  bodyBytes.head("HTTP/1.1 200 OK", {"Content-Length: 1000"});
  for (int i = 0; i < 200; ++i) {
    headerLines.pause(50ms).send("X-Trickle: " + std::to_string(i) + "\r\n");
    bodyBytes.pause(50ms).send("b");
    interimResponses.pause(50ms).send("HTTP/1.1 100 Continue\r\n\r\n");
  }
  server.on("/header-lines", headerLines);
  server.on("/body-bytes", bodyBytes);
  server.on("/interim-responses", interimResponses);
  client.setReadTimeout(30000ms);
  client.setTotalTimeout(500ms);
  for (const char* path : {"/header-lines", "/body-bytes", "/interim-responses"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(fetch(server.url(path)), "Read timed out.");
  }
  EXPECT_EQ(log.events.back(), "end") << "the body that had begun is ended";
}

// Cut a complete response off after every byte, with an orderly close and with a reset.
TEST_F(ClientTest, AConnectionThatEndsAtAnyPointFailsAndEndsAnyBodyBegun) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n";
  const std::string whole = head + "abcdef";
  client.setReadTimeout(2000ms);
  for (const bool reset : {false, true}) {
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
      SCOPED_TRACE((reset ? "reset after " : "close after ") + std::to_string(cut));
      Reply reply = Reply().send(whole.substr(0, cut));
      server.enqueue(reset ? reply.reset() : reply.close());
      log.events.clear();
      body.seek(0);
      const std::string error = fetch(server.url("/cut"));
      EXPECT_THAT(error, ::testing::Not(IsEmpty()));
      EXPECT_NE(error, "Read timed out.");
      const bool bodyBegun = cut >= head.size();
      ASSERT_EQ(!log.events.empty(), bodyBegun);
      if (bodyBegun) {
        EXPECT_EQ(log.events.front(), "begin 6");
        EXPECT_EQ(log.events.back(), "end");
        EXPECT_EQ(body.data(), whole.substr(head.size(), cut - head.size()));
      }
    }
  }
}

// ---- whether a repeat could help ----------------------------------------------------------

// Only a refusal of ours is futile; whatever the network or the server may change is not.
TEST_F(ClientTest, EachErrorSaysWhetherARepeatCouldHelp) {
  client.setFollowRedirects(true);
  client.setReadTimeout(300ms);
  server.on("/to-ftp", Reply::redirect(302, "ftp://127.0.0.1/file"));
  server.on("/to-malformed", Reply::redirect(302, "http://[::1/x"));
  server.on("/404", Reply::response("HTTP/1.1 404 Not Found", {}, ""));
  server.on("/503", Reply::response("HTTP/1.1 503 Service Unavailable", {}, "busy"));
  server.on("/reset", Reply().reset());
  server.on("/silent", Reply().hang());
  server.on("/not-http", Reply().send("SSH-2.0-OpenSSH_9.2\r\n").close());
  const struct {
    const char* name;
    std::string url;
    net::Retry retry;
  } cases[] = {
      {"another scheme", "ftp://127.0.0.1/x", net::Retry::Futile},
      {"malformed URL", "http://[::1/x", net::Retry::Futile},
      {"redirect to another scheme", server.url("/to-ftp"), net::Retry::Futile},
      {"redirect to a malformed URL", server.url("/to-malformed"), net::Retry::Futile},
      {"error status", server.url("/404"), net::Retry::MayHelp},
      {"server error with a body", server.url("/503"), net::Retry::MayHelp},
      {"connection refused", "http://127.0.0.1:1/x", net::Retry::MayHelp},
      {"lost connection", server.url("/reset"), net::Retry::MayHelp},
      {"read time-out", server.url("/silent"), net::Retry::MayHelp},
      {"a reply that is not HTTP", server.url("/not-http"), net::Retry::MayHelp},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(retryOfFetch(c.url), c.retry);
  }
}

// ---- sinks and handlers that fail ---------------------------------------------------------

TEST_F(ClientTest, AFullSinkOrAThrowingHandlerBreaksOffAndStillEndsTheBody) {
  server.on("/big", Reply::ok(std::string(5000, 'z')));
  net::MemorySink small(1000);
  EXPECT_THAT(errorOf([&] { client.get(server.url("/big"), small); }),
              HasSubstr("larger than 1000 bytes"));
  EXPECT_EQ(log.events.front(), "begin 5000");
  EXPECT_EQ(log.events.back(), "end");

  log.events.clear();
  client.onWork = [](std::int64_t) { throw std::logic_error("stop here"); };
  EXPECT_THROW(client.get(server.url("/big"), body), std::logic_error);
  EXPECT_EQ(log.events, (Events{"begin 5000", "end"}));
}

}  // namespace
}  // namespace nettest
