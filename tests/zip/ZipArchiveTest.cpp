#include "zip/ZipArchive.h"

#include <gtest/gtest.h>

#include "tests/support/DamagedStream.h"
#include "tests/support/ZipBuilder.h"
#include "zip/MemoryInputStream.h"
#include "zip/ZipError.h"

namespace {

using testsupport::buildZip;
using testsupport::ZipFixtureEnd;
using testsupport::ZipFixtureEntry;

std::span<const std::byte> bytesOf(const std::string& text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

// Opens the bytes as an archive; the stream lives as long as the returned holder.
struct Opened {
  explicit Opened(std::string bytes)
      : data(std::move(bytes)), stream(bytesOf(data)), archive(stream) {}
  std::string data;
  zip::MemoryInputStream stream;
  zip::ZipArchive archive;
};

void expectNotOpened(const std::string& bytes, const std::string& why) {
  zip::MemoryInputStream stream(bytesOf(bytes));
  try {
    zip::ZipArchive archive(stream);
    ADD_FAILURE() << "opened an archive that is " << why;
  } catch (const zip::ZipError&) {
  }
}

std::vector<ZipFixtureEntry> twoEntries() {
  return {ZipFixtureEntry{.name = "a.txt", .data = "alpha"},
          ZipFixtureEntry{.name = "dir/b.txt", .data = "beta", .method = 8}};
}

TEST(ZipArchiveTest, EmptyStreamIsAnArchiveWithoutEntries) {
  Opened opened("");
  EXPECT_TRUE(opened.archive.entries().empty());
}

TEST(ZipArchiveTest, ReadsTheCentralDirectoryInOrder) {
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  fixtures[1].hostSystem = 3;
  fixtures[1].externalAttributes = 0100644u << 16;
  fixtures[1].versionNeeded = 45;
  fixtures[1].dosDate = 0x5A21;
  fixtures[1].dosTime = 0x1234;
  Opened opened(buildZip(fixtures));
  const auto& entries = opened.archive.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_EQ(entries[0].method, 0);
  EXPECT_EQ(entries[0].uncompressedSize, 5u);
  EXPECT_EQ(entries[1].name, "dir/b.txt");
  EXPECT_EQ(entries[1].method, 8);
  EXPECT_EQ(entries[1].hostSystem, 3);
  EXPECT_EQ(entries[1].versionNeeded, 45);
  EXPECT_EQ(entries[1].externalAttributes, 0100644u << 16);
  EXPECT_EQ(entries[1].dosDate, 0x5A21);
  EXPECT_EQ(entries[1].dosTime, 0x1234);
  EXPECT_EQ(entries[1].crc32, testsupport::crc32Of("beta"));
  EXPECT_FALSE(entries[1].defect);
}

TEST(ZipArchiveTest, DirectoryRule) {
  Opened opened(buildZip({ZipFixtureEntry{.name = "slash/"}, ZipFixtureEntry{.name = "back\\"},
                          ZipFixtureEntry{.name = "attribute", .externalAttributes = 0x10},
                          ZipFixtureEntry{.name = "file"}}));
  const auto& entries = opened.archive.entries();
  EXPECT_TRUE(entries[0].isDirectory());
  EXPECT_TRUE(entries[1].isDirectory());
  EXPECT_TRUE(entries[2].isDirectory());
  EXPECT_FALSE(entries[3].isDirectory());
}

TEST(ZipArchiveTest, FindsTheEndRecordBehindAComment) {
  // The comment holds a false end record; only the true one ends exactly at the stream's end.
  const std::string fake = buildZip({ZipFixtureEntry{.name = "fake.txt", .data = "x"}});
  Opened opened(buildZip(twoEntries(), {.comment = fake.substr(fake.size() - 22) + "tail"}));
  ASSERT_EQ(opened.archive.entries().size(), 2u);
  EXPECT_EQ(opened.archive.entries()[0].name, "a.txt");

  const std::string longComment(0xFFFF, 'c');
  Opened longest(buildZip(twoEntries(), {.comment = longComment}));
  EXPECT_EQ(longest.archive.entries().size(), 2u);
}

TEST(ZipArchiveTest, ReadsZip64Records) {
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  for (auto& fixture : fixtures) fixture.zip64 = true;
  Opened opened(buildZip(fixtures, {.zip64 = true}));
  const auto& entries = opened.archive.entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].uncompressedSize, 4u);
  EXPECT_FALSE(entries[1].defect);
  EXPECT_GT(entries[1].localHeaderOffset, 0u);
  EXPECT_NO_THROW(opened.archive.readLocalHeader(entries[1]));
}

TEST(ZipArchiveTest, RefusesWhatIsNotASingleVolumeArchive) {
  expectNotOpened("<html><body>404 Not Found</body></html>", "an HTML page");
  expectNotOpened(buildZip(twoEntries(), {.diskNumber = 1}), "multi-volume");
  expectNotOpened(buildZip(twoEntries(), {.entriesOnDisk = 1}), "spread over disks");
  expectNotOpened(buildZip(twoEntries(), {.zip64 = true, .omitZip64Locator = true}),
                  "saturated without a ZIP64 locator");
  std::vector<ZipFixtureEntry> badSignature = twoEntries();
  badSignature[1].badCentralSignature = true;
  expectNotOpened(buildZip(badSignature), "with a damaged central record");
}

TEST(ZipArchiveTest, RefusesEveryTruncation) {
  const std::string whole = buildZip(twoEntries(), {.comment = "comment"});
  for (size_t length = 1; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    expectNotOpened(whole.substr(0, length), "cut short");
  }
}

TEST(ZipArchiveTest, RefusesHostileEndRecords) {
  expectNotOpened(buildZip(twoEntries(), {.centralDirectoryOffset = 0x7FFFFFF0}),
                  "with its central directory past the end");
  expectNotOpened(buildZip(twoEntries(), {.centralDirectorySize = 0xFFFFFFF0}),
                  "with an oversized central directory");
  expectNotOpened(buildZip(twoEntries(), {.entriesOnDisk = 0xFFF0, .entriesTotal = 0xFFF0}),
                  "announcing more entries than its central directory holds");
  expectNotOpened(buildZip(twoEntries(), {.zip64 = true, .zip64EntriesTotal = UINT64_MAX}),
                  "announcing 2^64 entries");
  expectNotOpened(
      buildZip(twoEntries(), {.zip64 = true, .zip64CentralDirectoryOffset = UINT64_MAX - 4}),
      "with an offset that overflows");
}

TEST(ZipArchiveTest, MarksEntriesWithImpossibleOffsetsOrSizes) {
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  fixtures[0].localHeaderOffset = 0xFFFFFF00;  // past the central directory
  fixtures[1].compressedSize = 0x7FFFFFFF;     // more data than the archive holds
  Opened opened(buildZip(fixtures));
  const auto& entries = opened.archive.entries();
  EXPECT_TRUE(entries[0].defect);
  EXPECT_THROW(opened.archive.readLocalHeader(entries[0]), zip::ZipError);
  EXPECT_THROW(opened.archive.readLocalHeader(entries[1]), zip::ZipError);
}

TEST(ZipArchiveTest, RefusesEntriesThatOverlap) {
  // Two records pointing at one local header, and a record whose size runs into the next.
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  fixtures.push_back(ZipFixtureEntry{.name = "copy.txt", .data = "alpha", .localHeaderOffset = 0});
  Opened shared(buildZip(fixtures));
  EXPECT_THROW(shared.archive.readLocalHeader(shared.archive.entries()[0]), zip::ZipError);
  EXPECT_THROW(shared.archive.readLocalHeader(shared.archive.entries()[2]), zip::ZipError);
  EXPECT_NO_THROW(shared.archive.readLocalHeader(shared.archive.entries()[1]));

  std::vector<ZipFixtureEntry> longer = twoEntries();
  longer[0].compressedSize = 40;
  Opened overlapping(buildZip(longer));
  EXPECT_THROW(overlapping.archive.readLocalHeader(overlapping.archive.entries()[0]),
               zip::ZipError);
}

TEST(ZipArchiveTest, RefusesAWrongLocalHeaderSignature) {
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  fixtures[0].badLocalSignature = true;
  Opened opened(buildZip(fixtures));
  EXPECT_THROW(opened.archive.readLocalHeader(opened.archive.entries()[0]), zip::ZipError);
  EXPECT_NO_THROW(opened.archive.readLocalHeader(opened.archive.entries()[1]));
}

TEST(ZipArchiveTest, Zip64FieldMissingOrShortMarksTheEntry) {
  std::vector<ZipFixtureEntry> fixtures = twoEntries();
  fixtures[0].uncompressedSize = 0xFFFFFFFF;  // saturated, with no ZIP64 field behind it
  fixtures[1].uncompressedSize = 0xFFFFFFFF;
  fixtures[1].extraField = std::string("\x01\x00\x04\x00\x01\x02\x03\x04", 8);  // 4 bytes, not 8
  Opened opened(buildZip(fixtures));
  EXPECT_TRUE(opened.archive.entries()[0].defect);
  EXPECT_TRUE(opened.archive.entries()[1].defect);
}

TEST(ZipArchiveTest, PassesReadErrorsOn) {
  const std::string bytes = buildZip(twoEntries());
  testsupport::DamagedStream stream(bytes, 10);
  EXPECT_THROW(zip::ZipArchive archive(stream), std::runtime_error);
}

}  // namespace
