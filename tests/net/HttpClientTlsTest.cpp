#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
  EXPECT_THAT(server.requests(), IsEmpty());
}

TEST_F(TlsTest, HostNameThatTheCertificateDoesNotNameFails) {
  testsupport::TestCertificates pki({"wrong.example"}, {});
  testsupport::ScriptedHttpServer server(pki.serverTls());
  server.on("/v.txt", Reply::ok("secret"));
  client.ioHandler().setCaFileForTests(pki.caFile());
  EXPECT_THAT(fetch(server.url("/v.txt")), HasSubstr("127.0.0.1"));
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
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(fetch(url), "Read timed out.");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

}  // namespace
}  // namespace nettest
