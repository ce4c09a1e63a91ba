// The extraction's own guarantees that no archive tool can show: confinement against symbolic
// links, part files, and the report. What the updater sees of it is tested through
// extractArchive in tests/update.
#include "zip/Extractor.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "zip/MemoryInputStream.h"
#include "zip/PartFile.h"
#include "zip/ZipError.h"

namespace {

namespace fs = std::filesystem;
using testsupport::buildZip;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;

zip::ExtractionReport extract(const std::string& archiveBytes, const fs::path& base,
                              zip::ExtractOptions options = {}) {
  zip::MemoryInputStream stream(std::as_bytes(std::span(archiveBytes.data(), archiveBytes.size())));
  zip::ZipArchive archive(stream);
  return zip::Extractor(archive, base, std::move(options)).run();
}

bool hasPartFiles(const fs::path& directory) {
  for (const auto& item : fs::recursive_directory_iterator(directory)) {
    if (item.path().filename().string().find(zip::PartFile::marker) != std::string::npos) {
      return true;
    }
  }
  return false;
}

class ExtractorTest : public testing::Test {
protected:
  testsupport::ScratchDirectory scratch;
  fs::path base = scratch / "base";
  fs::path outside = scratch / "outside";
  void SetUp() override {
    fs::create_directories(base);
    fs::create_directories(outside);
  }
};

TEST_F(ExtractorTest, NeverWritesThroughALinkThatLeadsOutside) {
  fs::create_directory_symlink(outside, base / "linkdir");
  writeFile(outside / "victim.txt", "original");
  fs::create_symlink(outside / "victim.txt", base / "victim.txt");
  fs::create_directories(base / "inside");
  fs::create_directory_symlink(base / "inside", base / "insidelink");

  const auto report =
      extract(buildZip({ZipFixtureEntry{.name = "linkdir/new/evil.txt", .data = "evil"},
                        ZipFixtureEntry{.name = "linkdir/evil.txt", .data = "evil"},
                        ZipFixtureEntry{.name = "linkdir/sub/"},
                        ZipFixtureEntry{.name = "victim.txt", .data = "evil"},
                        ZipFixtureEntry{.name = "insidelink/fine.txt", .data = "fine"}}),
              base);

  EXPECT_EQ(report.skipped.size(), 4u);
  EXPECT_FALSE(report.endedBy);
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_EQ(readFile(base / "inside" / "fine.txt"), "fine");
  EXPECT_EQ(readFile(outside / "victim.txt"), "original");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

TEST_F(ExtractorTest, LeftoverPartFilesNeitherDisturbNorGetTouched) {
  // What a run killed midway leaves behind: a part file of the very target.
  const fs::path leftover =
      base / (".a.txt" + std::string(zip::PartFile::marker) + "0123456789abcdef");
  writeFile(leftover, "half");
  writeFile(base / "a.txt", "old");

  const auto report =
      extract(buildZip({ZipFixtureEntry{.name = "a.txt", .data = "new", .method = 8}}), base);
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_EQ(readFile(base / "a.txt"), "new");
  EXPECT_EQ(readFile(leftover), "half");
}

TEST_F(ExtractorTest, FailedEntriesLeaveNoPartFiles) {
  writeFile(base / "kept.txt", "earlier");
  std::string content;
  for (int i = 0; content.size() < 300000; ++i) content += std::to_string(i * 7919 % 100003) + ";";
  std::string damaged = testsupport::deflateRaw(content);
  damaged[damaged.size() / 2] ^= 0x40;
  const auto report = extract(
      buildZip(
          {ZipFixtureEntry{.name = "kept.txt", .data = content, .method = 8, .payload = damaged},
           ZipFixtureEntry{.name = "dir/crc.txt", .data = "data", .crc = 1}}),
      base);
  EXPECT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(readFile(base / "kept.txt"), "earlier");
  EXPECT_FALSE(fs::exists(base / "dir" / "crc.txt"));
  EXPECT_FALSE(hasPartFiles(base));
}

TEST_F(ExtractorTest, ReportsEverySkippedEntryWithItsReason) {
  const auto report = extract(
      buildZip({ZipFixtureEntry{.name = "../up.txt", .data = "x"},
                ZipFixtureEntry{.name = "big.txt", .data = std::string(5000, 'b'), .method = 8},
                ZipFixtureEntry{.name = "ok.txt", .data = "ok"}}),
      base, {.password = {}, .mask = "*", .maxEntrySize = 4096});
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].name, "../up.txt");
  EXPECT_NE(report.skipped[0].reason.find("outside"), std::string::npos);
  EXPECT_EQ(report.skipped[1].name, "big.txt");
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_FALSE(fs::exists(scratch / "up.txt"));
}

TEST_F(ExtractorTest, MaskSelectsByLastElement) {
  const auto report = extract(buildZip({ZipFixtureEntry{.name = "docs.txt/a.bin", .data = "1"},
                                        ZipFixtureEntry{.name = "sub/B.TXT", .data = "2"}}),
                              base, {.password = {}, .mask = "*.txt"});
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_TRUE(fs::exists(base / "sub" / "B.TXT"));
  EXPECT_FALSE(fs::exists(base / "docs.txt" / "a.bin"));
}

std::map<std::string, std::string> treeOf(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(item.path(), root).string();
    tree[relative] = item.is_directory() ? "<dir>" : readFile(item.path());
  }
  return tree;
}

// Entries decoded side by side must come out exactly as one after another: same files, same
// report, same end, also where a path runs through a file that is still being decoded.
TEST_F(ExtractorTest, DecodingSideBySideChangesNothing) {
  std::vector<ZipFixtureEntry> entries;
  for (int i = 0; i < 30; ++i) {
    const uint16_t method = std::array<uint16_t, 4>{0, 8, 12, 14}[i % 4];
    entries.push_back(
        {.name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat",
         .data = std::string(static_cast<size_t>(1000 * i), static_cast<char>('a' + i % 26)),
         .method = method});
  }
  entries.push_back({.name = "dup.txt", .data = "first", .method = 12});
  entries.push_back({.name = "bad.txt", .data = "x", .method = 8, .crc = 7});
  entries.push_back({.name = "dup.txt", .data = "second"});
  entries.push_back({.name = "file", .data = std::string(200000, 'f'), .method = 14});
  entries.push_back({.name = "file/", .externalAttributes = 0x10});  // a file is in the way
  entries.push_back({.name = "late.txt", .data = "late", .method = 8});
  entries.push_back({.name = "file/inside.txt", .data = "never"});  // ends the extraction
  entries.push_back({.name = "after.txt", .data = "never"});
  const std::string archive = buildZip(entries);

  std::vector<zip::ExtractionReport> reports;
  std::vector<std::map<std::string, std::string>> trees;
  for (const unsigned threads : {1u, 4u}) {
    const fs::path out = scratch / ("threads" + std::to_string(threads));
    fs::create_directories(out);
    reports.push_back(extract(archive, out, {.password = {}, .mask = "*", .threads = threads}));
    trees.push_back(treeOf(out));
  }
  EXPECT_EQ(reports[0].filesWritten, 34u);  // both dup.txt count
  EXPECT_TRUE(reports[0].endedBy);
  EXPECT_EQ(reports[0].entriesNotReached, 1u);
  EXPECT_EQ(trees[0]["dup.txt"], "second");
  EXPECT_EQ(reports[1].filesWritten, reports[0].filesWritten);
  EXPECT_EQ(reports[1].directoriesWritten, reports[0].directoriesWritten);
  // Reasons name paths under each run's own directory.
  const auto sameRun = [](std::string text) {
    const size_t at = text.find("threads4");
    return at == std::string::npos ? text : text.replace(at, 8, "threads1");
  };
  EXPECT_EQ(sameRun(reports[1].endedBy.value_or("")), reports[0].endedBy.value_or(""));
  EXPECT_EQ(reports[1].entriesNotReached, reports[0].entriesNotReached);
  ASSERT_EQ(reports[1].skipped.size(), reports[0].skipped.size());
  for (size_t i = 0; i < reports[0].skipped.size(); ++i) {
    EXPECT_EQ(reports[1].skipped[i].name, reports[0].skipped[i].name);
    EXPECT_EQ(sameRun(reports[1].skipped[i].reason), reports[0].skipped[i].reason);
  }
  EXPECT_EQ(trees[1], trees[0]);
}

// A stream whose reads fail inside one byte range, as a bad sector would.
class DamagedStream final : public zip::InputStream {
public:
  DamagedStream(const std::string& data, uint64_t badBegin, uint64_t badEnd)
      : inner_(std::as_bytes(std::span(data.data(), data.size()))),
        badBegin_(badBegin),
        badEnd_(badEnd) {}
  uint64_t size() override { return inner_.size(); }
  void seek(uint64_t offset) override {
    inner_.seek(offset);
    position_ = offset;
  }
  size_t read(void* buffer, size_t length) override {
    if (position_ < badEnd_ && position_ + length > badBegin_) {
      throw std::runtime_error("input/output error");
    }
    const size_t count = inner_.read(buffer, length);
    position_ += count;
    return count;
  }

private:
  zip::MemoryInputStream inner_;
  uint64_t position_ = 0;
  uint64_t badBegin_;
  uint64_t badEnd_;
};

TEST_F(ExtractorTest, ReadErrorsSkipTheEntryTheyHit) {
  writeFile(base / "second.txt", "earlier");
  const std::string content(300000, 's');
  const std::string bytes = buildZip({ZipFixtureEntry{.name = "first.txt", .data = "first"},
                                      ZipFixtureEntry{.name = "second.txt", .data = content},
                                      ZipFixtureEntry{.name = "third.txt", .data = "third"}});
  // Bytes in the middle of the second entry's data cannot be read.
  DamagedStream stream(bytes, 200000, 200010);
  zip::ZipArchive archive(stream);
  const auto report = zip::Extractor(archive, base, {}).run();
  EXPECT_EQ(report.filesWritten, 2u);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].name, "second.txt");
  EXPECT_EQ(readFile(base / "second.txt"), "earlier");
  EXPECT_EQ(readFile(base / "third.txt"), "third");
  EXPECT_FALSE(hasPartFiles(base));
}

TEST_F(ExtractorTest, MissingBaseDirectoryIsAnError) {
  const std::string bytes = buildZip({ZipFixtureEntry{.name = "a.txt", .data = "a"}});
  zip::MemoryInputStream stream(std::as_bytes(std::span(bytes.data(), bytes.size())));
  zip::ZipArchive archive(stream);
  EXPECT_THROW(zip::Extractor(archive, scratch / "missing", {}), zip::ZipError);
}

}  // namespace
