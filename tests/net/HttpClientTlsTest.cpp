#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "net/TlsIoHandler.h"
#include "tests/net/ClientFixture.h"

namespace nettest {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

class TlsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { net::globalInit(); }

  std::string fetch(const std::string& url) {
    return errorOf([&] { client.get(url, body); });
  }
  std::optional<net::Retry> retryOfFetch(const std::string& url) {
    return retryOf([&] { client.get(url, body); });
  }

  net::HttpClient client;
  net::MemorySink body{1 << 16};
};

TEST_F(TlsTest, TrustedTestCaWorksAndCookiesAndHeadersGoThroughTls) {
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/v.txt", Reply::response("HTTP/1.1 200 OK", {"Set-Cookie: k=v"}, "secret"));
  client.ioHandler().setCaFileForTests(pki.caFile());
  ASSERT_EQ(fetch(server.url("/v.txt")), "");
  ASSERT_EQ(fetch(server.url("/v.txt")), "");
  EXPECT_EQ(body.data(), "secretsecret");
  EXPECT_EQ(server.requests().at(1).header("Cookie"), "k=v");
}

TEST_F(TlsTest, CertificateFromAnUntrustedCaFails) {
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/v.txt", Reply::ok("secret"));
  // No test CA: only the system's trusted certificates count.
  EXPECT_THAT(fetch(server.url("/v.txt")), HasSubstr("certificate"));
  EXPECT_EQ(retryOfFetch(server.url("/v.txt")), net::Retry::Futile);
  EXPECT_THAT(server.requests(), IsEmpty());
}

TEST_F(TlsTest, HostNameThatTheCertificateDoesNotNameFails) {
  testsupport::TestCertificates pki({"wrong.example"}, {});
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/v.txt", Reply::ok("secret"));
  client.ioHandler().setCaFileForTests(pki.caFile());
  EXPECT_THAT(fetch(server.url("/v.txt")), HasSubstr("127.0.0.1"));
  EXPECT_EQ(retryOfFetch(server.url("/v.txt")), net::Retry::Futile);
  EXPECT_THAT(server.requests(), IsEmpty());
}

TEST_F(TlsTest, AnInstalledIoHandlerReplacesTheClientsOwn) {
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/v.txt", Reply::ok("ok"));
  net::TlsIoHandler handler;
  handler.setCaFileForTests(pki.caFile());
  client.setIoHandler(&handler);
  EXPECT_EQ(fetch(server.url("/v.txt")), "");
  client.setIoHandler(nullptr);
  EXPECT_THAT(fetch(server.url("/v.txt")), HasSubstr("certificate"));
}

// A server that takes the connection and never starts the handshake must not hold us forever.
TEST_F(TlsTest, SilentServerDuringTheHandshakeTimesOut) {
  testsupport::ScriptedHttpServer plain;  // speaks no TLS: the hello goes unanswered
  plain.enqueue(Reply().hang());
  client.setReadTimeout(std::chrono::milliseconds(300));
  const std::string url = "https://127.0.0.1:" + std::to_string(plain.port()) + "/x";
  EXPECT_EQ(fetch(url), "Read timed out.");
  EXPECT_EQ(retryOfFetch(url), net::Retry::MayHelp) << "the server may answer next time";
}

// One Location header must not undo the certificate checks: https never leads to plain http,
// whatever the redirect's form. The response ends the GET as an error response would.
TEST_F(TlsTest, RedirectFromHttpsToPlainHttpIsNotFollowed) {
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer secure(pki.serverTls());
  testsupport::ScriptedHttpServer plain;
  plain.on("/a.zip", Reply::ok("tampered"));
  secure.on("/absolute", Reply::redirect(302, plain.url("/a.zip"), "moved"));
  secure.on("/upper-case",
            Reply::redirect(301, "HTTP://127.0.0.1:" + std::to_string(plain.port()) + "/a.zip"));
  secure.on("/same-host", Reply::redirect(307, "/b.zip"));
  secure.on("/b.zip", Reply::ok("genuine"));
  client.ioHandler().setCaFileForTests(pki.caFile());
  client.setFollowRedirects(true);
  EventLog log;
  log.hook(client);

  EXPECT_EQ(fetch(secure.url("/absolute")), "HTTP/1.1 302 Redirect");
  EXPECT_EQ(log.events, (Events{"begin 5", "step 5", "end"})) << "the redirect's body is read";
  EXPECT_EQ(fetch(secure.url("/upper-case")), "HTTP/1.1 301 Redirect");
  EXPECT_EQ(retryOfFetch(secure.url("/absolute")), net::Retry::Futile);
  EXPECT_THAT(plain.requests(), IsEmpty());
  EXPECT_THAT(body.data(), IsEmpty());
  ASSERT_EQ(fetch(secure.url("/same-host")), "") << "https to https is followed";
  EXPECT_EQ(body.data(), "genuine");
}

}  // namespace
}  // namespace nettest
