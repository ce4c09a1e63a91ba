#include "net/ResponseHead.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using net::ResponseKind;

// ---- what a status means ------------------------------------------------------------------

struct StatusCase {
  const char* label;
  long status;
  bool hasLocation;
  bool mayRedirect;
  ResponseKind expected;
};

class ClassifyStatusTest : public testing::TestWithParam<StatusCase> {};

TEST_P(ClassifyStatusTest, SaysWhatTheResponseMeansForTheGet) {
  const StatusCase& c = GetParam();
  EXPECT_EQ(net::classifyStatus(c.status, c.hasLocation, c.mayRedirect), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, ClassifyStatusTest,
    testing::Values(StatusCase{"Ok", 200, false, false, ResponseKind::Final},
                    StatusCase{"NoContent", 204, false, false, ResponseKind::Final},
                    StatusCase{"LastSuccess", 299, true, true, ResponseKind::Final},
                    StatusCase{"FoundFollowed", 302, true, true, ResponseKind::Redirect},
                    StatusCase{"MultipleChoicesFollowed", 300, true, true, ResponseKind::Redirect},
                    StatusCase{"PermanentFollowed", 308, true, true, ResponseKind::Redirect},
                    StatusCase{"LastRedirectFollowed", 399, true, true, ResponseKind::Redirect},
                    StatusCase{"FoundNotFollowed", 302, true, false, ResponseKind::Error},
                    StatusCase{"FoundWithoutLocation", 301, false, true, ResponseKind::Error},
                    StatusCase{"NotModifiedWithLocation", 304, true, true, ResponseKind::Error},
                    StatusCase{"NotFoundWithLocation", 404, true, true, ResponseKind::Error},
                    StatusCase{"ServerError", 500, false, false, ResponseKind::Error}),
    [](const testing::TestParamInfo<StatusCase>& row) { return row.param.label; });

// ---- header lines -------------------------------------------------------------------------

struct HeaderCase {
  const char* label;
  std::vector<std::string> lines;
  std::optional<std::string> location;
  std::optional<std::int64_t> contentLength;
  bool chunked;
};

class ReadHeaderLineTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(ReadHeaderLineTest, KeepsTheHeadersTheClientActsOn) {
  const HeaderCase& c = GetParam();
  net::ResponseHead head;
  for (const std::string& line : c.lines) net::readHeaderLine(head, line);
  EXPECT_EQ(head.location, c.location);
  EXPECT_EQ(head.contentLength, c.contentLength);
  EXPECT_EQ(head.chunked, c.chunked);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReadHeaderLineTest,
    testing::Values(
        HeaderCase{"Location", {"Location: /next"}, "/next", std::nullopt, false},
        HeaderCase{"NameInAnyCase", {"lOCATION:/next"}, "/next", std::nullopt, false},
        HeaderCase{
            "SpacesTabsAndLineEnd", {"Location: \t /next \t\r\n"}, "/next", std::nullopt, false},
        HeaderCase{"ValueWithColons",
                   {"Location: http://h:8080/a"},
                   "http://h:8080/a",
                   std::nullopt,
                   false},
        HeaderCase{"EmptyLocationIsALocation", {"Location:"}, "", std::nullopt, false},
        HeaderCase{
            "LaterLocationWins", {"Location: /a", "Location: /b"}, "/b", std::nullopt, false},
        HeaderCase{
            "SpaceBeforeColonIsAnotherName", {"Location : /x"}, std::nullopt, std::nullopt, false},
        HeaderCase{"NoColon", {"Location /x"}, std::nullopt, std::nullopt, false},
        HeaderCase{"OtherHeaders",
                   {"X-Location: /y", "Content-Type: text/plain"},
                   std::nullopt,
                   std::nullopt,
                   false},
        HeaderCase{"ContentLength", {"content-length:   42  "}, std::nullopt, 42, false},
        HeaderCase{"ContentLengthZero", {"Content-Length: 0"}, std::nullopt, 0, false},
        HeaderCase{
            "ContentLengthNegative", {"Content-Length: -1"}, std::nullopt, std::nullopt, false},
        HeaderCase{
            "ContentLengthSigned", {"Content-Length: +5"}, std::nullopt, std::nullopt, false},
        HeaderCase{"ContentLengthTrailingText",
                   {"Content-Length: 12abc"},
                   std::nullopt,
                   std::nullopt,
                   false},
        HeaderCase{
            "ContentLengthTwoNumbers", {"Content-Length: 1 2"}, std::nullopt, std::nullopt, false},
        HeaderCase{"ContentLengthOverflow",
                   {"Content-Length: 99999999999999999999"},
                   std::nullopt,
                   std::nullopt,
                   false},
        HeaderCase{"MalformedLengthKeepsTheValidOne",
                   {"Content-Length: 10", "Content-Length: x"},
                   std::nullopt,
                   10,
                   false},
        HeaderCase{"Chunked", {"Transfer-Encoding: chunked"}, std::nullopt, std::nullopt, true},
        HeaderCase{"ChunkedInAListAnyCase",
                   {"transfer-encoding: gzip, CHUNKED"},
                   std::nullopt,
                   std::nullopt,
                   true},
        HeaderCase{"OtherEncoding", {"Transfer-Encoding: gzip"}, std::nullopt, std::nullopt, false},
        HeaderCase{"LaterEncodingWins",
                   {"Transfer-Encoding: chunked", "Transfer-Encoding: gzip"},
                   std::nullopt,
                   std::nullopt,
                   false}),
    [](const testing::TestParamInfo<HeaderCase>& row) { return row.param.label; });

// ---- whether a body follows ---------------------------------------------------------------

struct BodyCase {
  const char* label;
  long status;
  std::optional<std::int64_t> contentLength;
  bool chunked;
  std::optional<std::int64_t> expected;  // nullopt: no body follows
};

class AnnouncedBodyLengthTest : public testing::TestWithParam<BodyCase> {};

TEST_P(AnnouncedBodyLengthTest, SaysWhetherABodyFollowsAndItsLength) {
  const BodyCase& c = GetParam();
  net::ResponseHead head;
  head.contentLength = c.contentLength;
  head.chunked = c.chunked;
  EXPECT_EQ(net::announcedBodyLength(c.status, head), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, AnnouncedBodyLengthTest,
    testing::Values(BodyCase{"Length", 200, 10, false, 10},
                    BodyCase{"UntilClose", 200, std::nullopt, false, 0},
                    BodyCase{"Chunked", 200, std::nullopt, true, 0},
                    BodyCase{"ChunkedOverLength", 200, 5, true, 0},
                    BodyCase{"LengthZero", 200, 0, false, std::nullopt},
                    BodyCase{"NoContent", 204, std::nullopt, false, std::nullopt},
                    BodyCase{"NotModifiedWithLength", 304, 10, false, std::nullopt},
                    BodyCase{"NotModifiedChunked", 304, std::nullopt, true, std::nullopt},
                    BodyCase{"ErrorBody", 404, 5, false, 5},
                    BodyCase{"RedirectChunked", 302, std::nullopt, true, 0}),
    [](const testing::TestParamInfo<BodyCase>& row) { return row.param.label; });

// ---- Basic credentials --------------------------------------------------------------------

TEST(BasicCredentialsTest, EncodesUserColonPasswordByteForByte) {
  struct Case {
    const char* label;
    std::string user;
    std::string password;
    const char* expected;
  };
  const Case cases[] = {
      {"empty user and password", "", "", "Basic Og=="},
      {"user and password", "alice", "s3cret", "Basic YWxpY2U6czNjcmV0"},
      {"two bytes: one pad", "a", "", "Basic YTo="},
      {"three bytes: no pad", "ab", "", "Basic YWI6"},
      {"four bytes: two pads", "abc", "", "Basic YWJjOg=="},
      {"password only", "", "x", "Basic Ong="},
      {"UTF-8", "j\xC3\xB6rg", "p\xC3\xA4sswort", "Basic asO2cmc6cMOkc3N3b3J0"},
      {"high bytes", "\xFF\xFE", "", "Basic //46"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(net::basicCredentials(c.user, c.password), c.expected);
  }
}

}  // namespace
