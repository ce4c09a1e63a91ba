#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "platform/Directory.h"
#include "tests/support/ChildCheck.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ScriptedHttpServer.h"
#include "update/FreeSpaceReserve.h"
#include "update/IdHTTPProgressU.h"

namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::Reply;
using update::TIdHTTPProgress;

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

enum class Ending { Complete, Hang, Reset };

// A reply whose body of `length` announced bytes arrives in the given pieces, each sent only once
// the client has taken the one before in (the fixture releases the server from every body
// step); then the connection does as `ending` says.
Reply piecewise(const std::string& statusLine, std::vector<std::string> headers,
                std::int64_t length, const std::vector<std::size_t>& pieces,
                Ending ending = Ending::Complete) {
  headers.push_back("Content-Length: " + std::to_string(length));
  Reply reply;
  reply.head(statusLine, headers);
  char next = 'a';
  for (std::size_t size : pieces) reply.send(std::string(size, next++)).awaitRelease();
  if (ending == Ending::Hang) reply.hang();
  if (ending == Ending::Reset) reply.reset();
  return reply;
}

std::string bodyOf(const std::vector<std::size_t>& pieces) {
  std::string body;
  char next = 'a';
  for (std::size_t size : pieces) body += std::string(size, next++);
  return body;
}

class DownloaderTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { net::globalInit(); }

  void SetUp() override {
    downloader.setReadTimeout(1000ms);  // the product keeps 30000 ms
    downloader.setRedirectBodyWaitForTests(300ms);
    downloader.onWork = [this, own = downloader.onWork](std::int64_t count) {
      own(count);
      server.release();
    };
    downloader.setOnChange([this](TIdHTTPProgress& sender) {
      EXPECT_EQ(&sender, &downloader);
      progress.push_back(sender.Progress());
    });
  }

  testsupport::ScratchDirectory scratch;
  std::filesystem::path destination = scratch.path() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip";
  testsupport::ScriptedHttpServer server;
  TIdHTTPProgress downloader;
  std::vector<std::int32_t> progress;  // every value OnChange saw, in order
};

struct DownloadCase {
  const char* name;
  std::vector<std::pair<std::string, Reply>> routes;  // "/f" is the one downloaded
  std::vector<std::int32_t> progress;
  std::string file;
  bool completed = true;  // a 2xx final body arrived whole
  bool refused = false;   // a repeat would meet the same refusal
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const DownloadCase& row, std::ostream* out) {
  *out << row.name;
}

class Downloads : public DownloaderTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(Downloads, ReportProgressAndKeepWhatArrived) {
  for (const auto& [target, reply] : GetParam().routes) server.on(target, reply);
  downloader.DownloadFile(server.url("/f"), destination);
  EXPECT_EQ(progress, GetParam().progress);
  EXPECT_EQ(downloader.BytesToTransfer(), 0);
  EXPECT_EQ(downloader.transferCompleted(), GetParam().completed);
  EXPECT_EQ(downloader.refused(), GetParam().refused);
  ASSERT_NE(downloader.destination(), nullptr);
  EXPECT_EQ(downloader.destination()->position(), GetParam().file.size());
  downloader.freeStream();
  EXPECT_EQ(readFile(destination), GetParam().file);
}

const std::vector<std::size_t> kEighths{1, 2, 2, 2, 1};
const std::vector<std::size_t> kTwoHundredths{59, 50, 90, 1};
const std::vector<std::size_t> kFortieths{23, 17};

INSTANTIATE_TEST_SUITE_P(
    Table, Downloads,
    ::testing::Values(
        DownloadCase{"Eighths",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, 8, kEighths)}},
                     {0, 12, 38, 62, 88, 100, 100},
                     bodyOf(kEighths)},
        DownloadCase{"TwoHundredthsReach100Early",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, 200, kTwoHundredths)}},
                     {0, 29, 54, 100, 100, 100},
                     bodyOf(kTwoHundredths)},
        DownloadCase{"TwentyThreeOfForty",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, 40, kFortieths)}},
                     {0, 58, 100, 100},
                     bodyOf(kFortieths)},
        DownloadCase{"ChunkedJumpsFrom0To100",
                     {{"/f", Reply()
                                 .head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"})
                                 .chunk("abc")
                                 .awaitRelease()
                                 .chunk("defg")
                                 .chunk("")}},
                     {0, 100},
                     "abcdefg"},
        DownloadCase{"RedirectBodyThenFinalBody",
                     {{"/f", piecewise("HTTP/1.1 302 Found", {"Location: /g"}, 10, {10})},
                      {"/g", piecewise("HTTP/1.1 200 OK", {}, 8, {4, 4})}},
                     {0, 100, 100, 50, 100, 100},
                     "aaaabbbb"},
        DownloadCase{"NotFoundWithBody",
                     {{"/f", Reply::response("HTTP/1.1 404 Not Found", {}, "no such file")}},
                     {0, 100, 100},
                     "",
                     false},
        DownloadCase{"BrokenOffByTimeOut",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, 1000, {600}, Ending::Hang)}},
                     {0, 60, 100},
                     std::string(600, 'a'),
                     false},
        DownloadCase{"BrokenOffByLostConnection",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, 1000, {600}, Ending::Reset)}},
                     {0, 60, 100},
                     std::string(600, 'a'),
                     false},
        // A length that the disk could not take above the reserve ends the body at once, as a
        // lost connection would.
        DownloadCase{"AnnouncedLengthBeyondTheFreeSpace",
                     {{"/f", piecewise("HTTP/1.1 200 OK", {}, std::int64_t{1} << 50, {600})}},
                     {0, 100},
                     "",
                     false},
        DownloadCase{"LengthZero", {{"/f", Reply::ok("")}}, {0}, ""},
        DownloadCase{"NotFoundLengthZero",
                     {{"/f", Reply::response("HTTP/1.1 404 Not Found", {}, "")}},
                     {0},
                     "",
                     false},
        DownloadCase{
            "TooManyRedirects", {{"/f", Reply::redirect(302, "/f")}}, {0}, "", false, true},
        DownloadCase{"RedirectToAnotherScheme",
                     {{"/f", Reply::redirect(302, "ftp://127.0.0.1/f")}},
                     {0},
                     "",
                     false,
                     true},
        DownloadCase{"ServiceUnavailableLengthZero",
                     {{"/f", Reply::response("HTTP/1.1 503 Service Unavailable", {}, "")}},
                     {0},
                     "",
                     false},
        DownloadCase{"NoAnswerAtAll", {{"/f", Reply().hang()}}, {0}, "", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(DownloaderTest, SendsBasicAuthorizationAndTheFixedHeaders) {
  server.on("/f", Reply::ok("x"));
  downloader.DownloadFile(server.url("/f"), destination);
  const auto request = server.requests().at(0);
  EXPECT_EQ(request.header("Authorization"), "Basic Og==");
  EXPECT_EQ(request.header("User-Agent"), net::HttpClient::kUserAgent);
  EXPECT_FALSE(request.header("Accept-Encoding"));
}

TEST_F(DownloaderTest, UnreachableHostStillWritesProgress0AndLeavesAnEmptyFile) {
  destination = scratch.path() / "a" / "b" / "c" / "missing-directories.zip";
  downloader.DownloadFile("http://127.0.0.1:1/f", destination);
  EXPECT_THAT(progress, ElementsAre(0));
  downloader.freeStream();
  EXPECT_TRUE(std::filesystem::exists(destination));
  EXPECT_EQ(std::filesystem::file_size(destination), 0u);
}

TEST_F(DownloaderTest, DestinationHeldByAnotherOpenerFailsBeforeAnyRequest) {
  std::filesystem::create_directories(destination.parent_path());
  platform::ExclusiveFile holder(destination, platform::ExclusiveFile::Mode::CreateOrTruncate);
  holder.write("keep", 4);
  server.on("/f", Reply::ok("new"));
  EXPECT_THROW(downloader.DownloadFile(server.url("/f"), destination), std::system_error);
  EXPECT_THAT(progress, ElementsAre(0));
  EXPECT_THAT(server.requests(), IsEmpty());
  EXPECT_EQ(downloader.destination(), nullptr);
  EXPECT_EQ(readFile(destination), "keep");
}

TEST_F(DownloaderTest, TruncatesAnExistingFileAndHoldsItUntilFreeStream) {
  std::filesystem::create_directories(destination.parent_path());
  std::ofstream(destination) << "an older and longer download";
  server.on("/f", Reply::ok("new"));
  downloader.DownloadFile(server.url("/f"), destination);
  EXPECT_THROW(platform::ExclusiveFile(destination, platform::ExclusiveFile::Mode::OpenExisting),
               std::system_error);
  downloader.freeStream();
  downloader.freeStream();  // a second call does nothing
  EXPECT_EQ(readFile(destination), "new");
  EXPECT_NO_THROW(
      platform::ExclusiveFile(destination, platform::ExclusiveFile::Mode::OpenExisting));
}

// The update worker puts its own handler in onWorkEnd and reads the still-open file there.
TEST_F(DownloaderTest, UsersHandlerInAnEventSlotReplacesTheDownloadersOwn) {
  server.on("/f", piecewise("HTTP/1.1 200 OK", {}, 8, {4, 4}));
  std::vector<std::uint64_t> sizesAtEnd;
  downloader.onWorkEnd = [&] { sizesAtEnd.push_back(downloader.destination()->size()); };
  downloader.DownloadFile(server.url("/f"), destination);
  EXPECT_THAT(sizesAtEnd, ElementsAre(8u));
  EXPECT_THAT(progress, ElementsAre(0, 50, 100));  // no 100 from transferEnd
  EXPECT_EQ(downloader.BytesToTransfer(), 8);      // nor its reset to 0
}

// A body without end, on a small disk of its own: the download stops where it would leave
// less than the reserve free, and ends as a body that broke off.
TEST_F(DownloaderTest, AnEndlessBodyStopsAtTheFreeSpaceReserve) {
  const std::string piece(256 << 10, 'z');
  Reply endless;
  endless.head("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"});
  for (int i = 0; i < 40; ++i) endless.chunk(piece);
  server.on("/f", endless);
  const std::filesystem::path mount = scratch.path() / "small";
  std::filesystem::create_directories(mount);
  const std::uint64_t size = update::kFreeSpaceReserve + (2u << 20);
  const std::string verdict = testsupport::runOnSmallFileSystem(mount, size, [&]() -> std::string {
    TIdHTTPProgress child;
    int ends = 0;
    child.onWorkEnd = [&] { ++ends; };
    const std::filesystem::path file = mount / "Update" / "KUBUpdate-ESC.2.4.1.7.zip";
    child.DownloadFile(server.url("/f"), file);
    if (ends != 1) return "the body ended " + std::to_string(ends) + " times";
    if (child.transferCompleted() || child.refused()) return "it did not end as broken off";
    const auto free = platform::Directory::open(mount).freeSpace();
    if (!free || *free < update::kFreeSpaceReserve) return "less than the reserve is free";
    const std::uint64_t written = std::filesystem::file_size(file);
    return written > 0 && written <= (2u << 20) ? ""
                                                : "wrote " + std::to_string(written) + " bytes";
  });
  if (verdict.starts_with(testsupport::kNoSmallFileSystem)) {
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << verdict;
  }
  EXPECT_EQ(verdict, "");
}

TEST_F(DownloaderTest, EveryWriteOfProgressCallsOnChange) {
  downloader.setProgress(7);
  downloader.setProgress(7);
  EXPECT_THAT(progress, ElementsAre(7, 7));
}

TEST_F(DownloaderTest, DownloadsOverVerifiedTlsThroughItsOwnHandler) {
  testsupport::TestCertificates pki;
  testsupport::ScriptedHttpServer tls(pki.serverTls());
  tls.on("/f", Reply::ok("secure"));
  downloader.DownloadFile(tls.url("/f"), destination);
  EXPECT_THAT(progress, ElementsAre(0)) << "an untrusted certificate must fail";
  EXPECT_TRUE(downloader.refused());
  EXPECT_THAT(tls.requests(), IsEmpty());
  downloader.freeStream();

  TIdHTTPProgress trusting;
  trusting.ioHandler().setCaFileForTests(pki.caFile());
  trusting.DownloadFile(tls.url("/f"), destination);
  EXPECT_FALSE(trusting.refused());
  trusting.freeStream();
  EXPECT_EQ(readFile(destination), "secure");
}

}  // namespace
