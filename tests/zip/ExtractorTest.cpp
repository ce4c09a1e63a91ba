// The extraction's own guarantees that no archive tool can show: confinement against symbolic
// links, part files, and the report. What the updater sees of it is tested through
// extractArchive in tests/update.
#include "zip/Extractor.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <map>

#include "platform/ExclusiveFile.h"
#include "platform/FileNameKey.h"
#include "platform/FileStamps.h"
#include "platform/HeldFile.h"
#include "tests/support/BuiltCodecs.h"
#include "tests/support/DamagedStream.h"
#include "tests/support/PartFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SkippedEntries.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "tests/zip/ExtractorFixture.h"
#include "zip/PartFile.h"
#include "zip/ZipError.h"

namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;
using testsupport::buildZip;
using testsupport::Causes;
using testsupport::causes;
using testsupport::hasPartFiles;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;

using ziptest::extract;
using ziptest::ExtractorTest;

// What a killed run left behind is removed where this run writes; a part file that someone is
// writing right now is left alone, and neither disturbs the extraction.
TEST_F(ExtractorTest, RemovesLeftoverPartFilesButNoneThatSomeoneHolds) {
  const auto partFile = [&](const std::string& target, const char* suffix) {
    return base / ("." + target + std::string(zip::PartFile::marker) + suffix);
  };
  const fs::path leftover = partFile("a.txt", "0123456789abcdef");
  const fs::path shortLeftover = base / (std::string(zip::PartFile::marker) + "00112233aabbccdd");
  const fs::path elsewhere = scratch / "other" / ("." + std::string(zip::PartFile::marker) + "1");
  writeFile(leftover, "half");
  writeFile(shortLeftover, "half");
  writeFile(elsewhere, "not in a folder this run writes to");
  writeFile(base / "a.txt", "old");
  platform::HeldFile held = platform::HeldFile::createNew(partFile("b.txt", "fedcba9876543210"));
  // Names that only look like a part file's: no part file is ever so named.
  const std::string notPartFiles[] = {
      "." + std::string(zip::PartFile::marker) + "0123456789ABCDEF",      // upper case
      "." + std::string(zip::PartFile::marker) + "0123456789abcde",       // 15 digits
      "notes" + std::string(zip::PartFile::marker) + "0123456789abcdef",  // no leading dot
      ".a.txt" + std::string(zip::PartFile::marker) + "0123456789abcdef.txt",
      "invoice" + std::string(zip::PartFile::marker) + "old.txt",
  };
  for (const std::string& name : notPartFiles) writeFile(base / name, "someone's file");

  const auto report =
      extract(buildZip({ZipFixtureEntry{.name = "a.txt", .data = "new", .method = 8}}), base);
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_EQ(readFile(base / "a.txt"), "new");
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_FALSE(fs::exists(shortLeftover));
  for (const std::string& name : notPartFiles) EXPECT_TRUE(fs::exists(base / name)) << name;
  EXPECT_TRUE(fs::exists(partFile("b.txt", "fedcba9876543210"))) << "held by its writer";
  EXPECT_TRUE(fs::exists(elsewhere));
}

// An archive may hold a file named as a part file would be. It is the archive's own: the next
// extraction does not take it for a leftover, also when its entry is not written that time.
TEST_F(ExtractorTest, AnEntryNamedLikeAPartFileSurvivesTheNextExtraction) {
  const std::string named = ".data.bin" + std::string(zip::PartFile::marker) + "0123456789abcdef";
  const auto entries = [&](bool damaged) {
    return std::vector<ZipFixtureEntry>{{.name = "Lib/data.bin", .data = "data"},
                                        {.name = "Lib/" + named,
                                         .data = "kept",
                                         .crc = damaged ? std::optional(1u) : std::nullopt}};
  };
  const struct {
    const char* name;
    std::vector<ZipFixtureEntry> entries;
    std::string mask;
  } cases[] = {
      {"written again", entries(false), "*"},
      {"its entry fails", entries(true), "*"},
      {"the mask leaves its entry out", entries(false), "data.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(base);
    fs::create_directories(base);
    ASSERT_EQ(extract(buildZip(entries(false)), base).filesWritten, 2u);
    extract(buildZip(c.entries), base, {.password = {}, .mask = c.mask});
    EXPECT_EQ(readFile(base / "Lib" / named), "kept");
  }
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
    const std::string relative = fs::relative(item.path(), root).generic_string();
    tree[relative] = item.is_directory() ? "<dir>" : readFile(item.path());
  }
  return tree;
}

// Whether two names are one file on this system (Windows folds letter case).
bool oneFile(const char* a, const char* b) {
  return platform::fileNameKey(a) == platform::fileNameKey(b);
}

// An archive whose extraction must come out as one entry after another would leave it, and
// what that is.
struct OrderCase {
  std::string name;
  std::function<std::vector<ZipFixtureEntry>()> entries;
  // Checks the outcome of the extraction with one thread into out.
  std::function<void(const zip::ExtractionReport&, const fs::path& out)> check;
  int runs = 20;  // extractions with several threads, each compared with the one-thread one
};

// Large enough that its decoding is still under way when later entries are prepared.
std::string slowContent() {
  std::string content;
  for (int i = 0; content.size() < 100000; ++i) content += std::to_string(i * 7919 % 100003) + ";";
  return content;
}

const OrderCase orderCases[] = {
    // Most are encrypted, so that their data is decrypted several at once; paths run through
    // a file that is still being decoded.
    {.name = "MixedMethodsAndFailures",
     .entries =
         [] {
           const std::string password = testsupport::kZipTestPassword;
           std::vector<ZipFixtureEntry> entries;
           for (int i = 0; i < 30; ++i) {
             const uint16_t method =
                 testsupport::builtOrDeflated(std::array<uint16_t, 4>{0, 8, 12, 14}[i % 4]);
             entries.push_back(
                 {.name = "d" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat",
                  .data =
                      std::string(static_cast<size_t>(1000 * i), static_cast<char>('a' + i % 26)),
                  .method = method,
                  .password = i % 5 == 0 ? std::nullopt : std::optional(password)});
           }
           entries.push_back(
               {.name = "dup.txt", .data = "first", .method = testsupport::builtOrDeflated(12)});
           entries.push_back({.name = "bad.txt", .data = "x", .method = 8, .crc = 7});
           entries.push_back({.name = "dup.txt", .data = "second"});
           entries.push_back({.name = "file",
                              .data = std::string(200000, 'f'),
                              .method = testsupport::builtOrDeflated(14)});
           entries.push_back(
               {.name = "file/", .externalAttributes = 0x10});  // a file is in the way
           entries.push_back({.name = "late.txt", .data = "late", .method = 8});
           entries.push_back({.name = "file/inside.txt", .data = "never"});  // ends the extraction
           entries.push_back({.name = "after.txt", .data = "never"});
           return entries;
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           // Both dup.txt count; "file/inside.txt" ends the run, and late.txt, decoded after
           // the step that "file/" began, is not installed.
           EXPECT_EQ(report.filesWritten, 33u);
           EXPECT_TRUE(report.endedBy);
           EXPECT_EQ(report.entriesNotReached, 1u);
           EXPECT_EQ(report.filesAbandoned, 1u);
           EXPECT_EQ(readFile(out / "dup.txt"), "second");
           EXPECT_FALSE(fs::exists(out / "late.txt"));
         },
     .runs = 3},
    {.name = "AFolderThenAFileOfItsName",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{{.name = "a/", .externalAttributes = 0x10},
                                               {.name = "a", .data = "file"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_TRUE(fs::is_directory(out / "a"));
           EXPECT_EQ(causes(report), (Causes{{"a", "something other than a file is in the way"}}));
         }},
    {.name = "AFileThenAFolderOfItsName",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{{.name = "a", .data = slowContent(), .method = 8},
                                               {.name = "a/", .externalAttributes = 0x10},
                                               {.name = "b", .data = "after"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_TRUE(fs::is_regular_file(out / "a"));
           ASSERT_EQ(report.skipped.size(), 1u);
           EXPECT_EQ(report.skipped[0].name, "a/");
           EXPECT_EQ(readFile(out / "b"), "after");
         }},
    {.name = "AFolderThenFilesInsideItAndOfItsName",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{{.name = "d/x", .data = slowContent(), .method = 8},
                                               {.name = "d/", .externalAttributes = 0x10},
                                               {.name = "d", .data = "file"},
                                               {.name = "d/y", .data = "y"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_EQ(report.filesWritten, 2u);
           EXPECT_EQ(report.directoriesWritten, 1u);
           EXPECT_EQ(causes(report), (Causes{{"d", "something other than a file is in the way"}}));
           EXPECT_EQ(readFile(out / "d" / "y"), "y");
         }},
    // On Windows the later of two names that differ in case wins, as for one name twice.
    {.name = "NamesThatDifferInCase",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{
               {.name = "Config.ini", .data = slowContent(), .method = 8},
               {.name = "config.ini", .data = "second"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_EQ(report.filesWritten, 2u);
           EXPECT_EQ(readFile(out / "config.ini"), "second");
           EXPECT_EQ(readFile(out / "Config.ini"),
                     oneFile("Config.ini", "config.ini") ? "second" : slowContent());
         }},
    {.name = "AFileThenAPathThroughItInAnotherCase",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{{.name = "Foo", .data = slowContent(), .method = 8},
                                               {.name = "foo/x", .data = "x"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_TRUE(fs::is_regular_file(out / "Foo"));
           EXPECT_EQ(report.endedBy.has_value(), oneFile("Foo", "foo"));
           EXPECT_EQ(fs::exists(out / "foo" / "x"), !oneFile("Foo", "foo"));
         }},
    {.name = "AFolderThenAFileOfItsNameInAnotherCase",
     .entries =
         [] {
           return std::vector<ZipFixtureEntry>{{.name = "Foo/", .externalAttributes = 0x10},
                                               {.name = "foo", .data = "file"}};
         },
     .check =
         [](const zip::ExtractionReport& report, const fs::path& out) {
           EXPECT_TRUE(fs::is_directory(out / "Foo"));
           EXPECT_EQ(report.skipped.size(), oneFile("Foo", "foo") ? 1u : 0u);
         }},
};

class DecodingSideBySide : public ExtractorTest, public testing::WithParamInterface<OrderCase> {};

// Entries decoded side by side must come out exactly as one after another: same files, same
// report, same end, also where order matters: a path through a file still being decoded, a
// folder and a file of one name, names that are one file on this system.
TEST_P(DecodingSideBySide, ChangesNothing) {
  const OrderCase& row = GetParam();
  const std::string password = testsupport::kZipTestPassword;
  const std::string archive = buildZip(row.entries());
  const auto extractWith = [&](unsigned threads, const fs::path& out) {
    fs::create_directories(out);
    return extract(archive, out, {.password = {password}, .mask = "*", .threads = threads});
  };
  const fs::path first = scratch / "threads1";
  const zip::ExtractionReport expected = extractWith(1, first);
  row.check(expected, first);
  const auto tree = treeOf(first);
  // Reasons name paths under each run's own directory.
  const auto sameRun = [](std::string text, const std::string& directory) {
    const size_t at = text.find(directory);
    return at == std::string::npos ? text : text.replace(at, directory.size(), "threads1");
  };
  for (int run = 0; run < row.runs; ++run) {
    const std::string directory = "threads4-" + std::to_string(run);
    SCOPED_TRACE(directory);
    const zip::ExtractionReport report = extractWith(4, scratch / directory);
    EXPECT_EQ(report.filesWritten, expected.filesWritten);
    EXPECT_EQ(report.directoriesWritten, expected.directoriesWritten);
    EXPECT_EQ(sameRun(report.endedBy.value_or(""), directory), expected.endedBy.value_or(""));
    EXPECT_EQ(report.entriesNotReached, expected.entriesNotReached);
    ASSERT_EQ(report.skipped.size(), expected.skipped.size());
    for (size_t i = 0; i < expected.skipped.size(); ++i) {
      EXPECT_EQ(report.skipped[i].name, expected.skipped[i].name);
      EXPECT_EQ(sameRun(report.skipped[i].reason, directory), expected.skipped[i].reason);
    }
    EXPECT_EQ(treeOf(scratch / directory), tree);
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, DecodingSideBySide, testing::ValuesIn(orderCases),
                         [](const testing::TestParamInfo<OrderCase>& row) {
                           return row.param.name;
                         });

TEST_F(ExtractorTest, ReadErrorsSkipTheEntryTheyHit) {
  writeFile(base / "second.txt", "earlier");
  const std::string content(300000, 's');
  const std::string bytes = buildZip({ZipFixtureEntry{.name = "first.txt", .data = "first"},
                                      ZipFixtureEntry{.name = "second.txt", .data = content},
                                      ZipFixtureEntry{.name = "third.txt", .data = "third"}});
  // Bytes in the middle of the second entry's data cannot be read.
  testsupport::DamagedStream stream(bytes, 200000, 200010);
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

// ---- the rules, end to end ------------------------------------------------------------

TEST_F(ExtractorTest, ReplacesExistingFilesAndTheLaterOfTwoEntriesWins) {
  writeFile(base / "config.ini", "old");
  const auto result = extractIntoBase(buildZip({
      ZipFixtureEntry{.name = "config.ini", .data = "first"},
      ZipFixtureEntry{.name = "config.ini", .data = "second", .method = 8},
      ZipFixtureEntry{.name = "empty.log"},
      ZipFixtureEntry{.name = "Vacio/"},
  }));
  EXPECT_TRUE(result.skipped.empty() && !result.endedBy);
  EXPECT_EQ(readFile(base / "config.ini"), "second");
  EXPECT_TRUE(fs::is_regular_file(base / "empty.log"));
  EXPECT_EQ(fs::file_size(base / "empty.log"), 0u);
  EXPECT_TRUE(fs::is_directory(base / "Vacio"));
}

// A file that already has the entry's size and CRC-32 is taken as the entry's content without
// decoding it: here the entry's data is damaged, so only a file left by that rule survives.
TEST_F(ExtractorTest, AFileWithTheEntrysSizeTimeAndCrcIsLeftWithoutDecoding) {
  // The payload does not decode: an entry that is decoded fails.
  const ZipFixtureEntry entry{
      .name = "f.dat", .data = "same content", .method = 8, .payload = "not deflate data"};
  const std::string archive = buildZip({entry});
  const struct {
    const char* name;
    std::optional<std::string> old;
    std::chrono::seconds writtenAfterEntry;
    bool left;
  } cases[] = {
      {"same size, time and CRC-32", "same content", std::chrono::seconds{0}, true},
      {"same size and CRC-32, another time", "same content", std::chrono::hours{1}, false},
      {"same size and time, other CRC-32", "sane content", std::chrono::seconds{0}, false},
      {"other size", "same content!", std::chrono::seconds{0}, false},
      {"no file", std::nullopt, std::chrono::seconds{0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(base);
    fs::create_directories(base);
    if (c.old) {
      writeFile(base / "f.dat", *c.old);
      ASSERT_TRUE(platform::setLastWriteTimeFromDos(base / "f.dat", entry.dosDate, entry.dosTime));
      fs::last_write_time(base / "f.dat",
                          fs::last_write_time(base / "f.dat") + c.writtenAfterEntry);
    }
    const auto result = extractIntoBase(archive);
    EXPECT_EQ(result.filesWritten, c.left ? 1u : 0u);
    EXPECT_EQ(result.skipped.empty(), c.left);
    EXPECT_EQ(c.old ? readFile(base / "f.dat") : "", c.old.value_or(""));
    EXPECT_FALSE(hasPartFiles(base));
  }
}

TEST_F(ExtractorTest, BackslashNamesLandLikeSlashNames) {
  const auto result = extractIntoBase(buildZip({
      ZipFixtureEntry{.name = "Lib\\Informes\\", .externalAttributes = 0x10},
      ZipFixtureEntry{.name = "Lib\\Informes\\factura.rpt", .data = "report", .method = 8},
      ZipFixtureEntry{.name = "Lib/otro.txt", .data = "other"},
  }));
  EXPECT_TRUE(result.skipped.empty() && !result.endedBy);
  EXPECT_EQ(readFile(base / "Lib" / "Informes" / "factura.rpt"), "report");
  EXPECT_EQ(readFile(base / "Lib" / "otro.txt"), "other");
}

// A held file is left untouched whatever its content: also one that holds the entry's content
// already gets neither the entry's time nor its read-only attribute.
TEST_F(ExtractorTest, ReadOnlyOrHeldTargetsAreNotReplaced) {
  writeFile(base / "readonly.dll", "installed");
  fs::permissions(base / "readonly.dll", fs::perms::owner_read | fs::perms::group_read);
  writeFile(base / "running.exe", "installed");
  ExclusiveFile held(base / "running.exe", ExclusiveFile::Mode::OpenExisting);
  const ZipFixtureEntry same{
      .name = "same.exe", .data = "installed", .method = 8, .externalAttributes = 0x01};
  writeFile(base / "same.exe", "installed");
  ASSERT_TRUE(platform::setLastWriteTimeFromDos(base / "same.exe", same.dosDate, same.dosTime));
  const auto sameTime = fs::last_write_time(base / "same.exe") + std::chrono::seconds(1);
  fs::last_write_time(base / "same.exe", sameTime);  // within the entry's two seconds
  ExclusiveFile heldSame(base / "same.exe", ExclusiveFile::Mode::OpenExisting);

  const auto result = extractIntoBase(buildZip({
      ZipFixtureEntry{.name = "readonly.dll", .data = "new", .method = 8},
      ZipFixtureEntry{.name = "running.exe", .data = "new", .method = 8},
      same,
      ZipFixtureEntry{.name = "other.txt", .data = "new", .method = 8},
  }));
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(causes(result),
            (Causes{{"readonly.dll", "the existing file is read-only"},
                    {"running.exe", "the existing file cannot be opened for writing"},
                    {"same.exe", "the existing file cannot be opened for writing"}}));
  EXPECT_EQ(readFile(base / "readonly.dll"), "installed");
  held.close();  // on Windows nobody else may even read a held file
  heldSame.close();
  EXPECT_EQ(readFile(base / "running.exe"), "installed");
  EXPECT_EQ(fs::last_write_time(base / "same.exe"), sameTime);
  EXPECT_NE(fs::status(base / "same.exe").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(readFile(base / "other.txt"), "new");
  EXPECT_FALSE(hasPartFiles(base));
}

// The second phase puts files in place on several threads: a target that became read-only, or
// a folder, after its entry was decoded is left as it is, without its part file, and the other
// files go in.
TEST_F(ExtractorTest, ATargetThatChangedAfterItsEntryWasDecodedIsLeftAndTheOthersGoIn) {
  std::vector<ZipFixtureEntry> entries;
  for (int i = 0; i < 40; ++i) {
    const std::string name = "f" + std::to_string(i) + ".dat";
    writeFile(base / name, "old");
    entries.push_back({.name = name, .data = "new " + std::to_string(i), .method = 8});
  }
  zip::ExtractOptions options;
  options.threads = 4;
  options.progress = [&](zip::ExtractionPhase phase, size_t done, size_t) {
    if (phase != zip::ExtractionPhase::Installing || done != 0) return;
    fs::permissions(base / "f7.dat", fs::perms::owner_read | fs::perms::group_read);
    fs::remove(base / "f23.dat");
    fs::create_directory(base / "f23.dat");
  };
  const auto result = extractIntoBase(buildZip(entries), options);
  EXPECT_EQ(result.filesWritten, 38u);
  EXPECT_EQ(causes(result), (Causes{{"f7.dat", "the existing file is read-only"},
                                    {"f23.dat", "something other than a file is in the way"}}));
  for (int i = 0; i < 40; ++i) {
    if (i == 7 || i == 23) continue;
    EXPECT_EQ(readFile(base / ("f" + std::to_string(i) + ".dat")), "new " + std::to_string(i));
  }
  EXPECT_EQ(readFile(base / "f7.dat"), "old");
  EXPECT_TRUE(fs::is_empty(base / "f23.dat"));
  EXPECT_FALSE(hasPartFiles(base));
}

TEST_F(ExtractorTest, ReadOnlyEntryKeepsALaterUpdateFromReplacingIt) {
  const std::string first =
      buildZip({ZipFixtureEntry{.name = "fixed.dat", .data = "1", .externalAttributes = 0x21}});
  EXPECT_TRUE(extractIntoBase(first).skipped.empty());
  const auto second =
      extractIntoBase(buildZip({ZipFixtureEntry{.name = "fixed.dat", .data = "2"}}));
  EXPECT_EQ(causes(second), (Causes{{"fixed.dat", "the existing file is read-only"}}));
  EXPECT_EQ(readFile(base / "fixed.dat"), "1");
}

// The program is installed whole or not at all: what was decoded before goes unplaced.
TEST_F(ExtractorTest, BlockedParentDirectoryEndsTheExtractionAndInstallsNothing) {
  writeFile(base / "Lib", "a file where a directory is needed");
  writeFile(base / "before.txt", "old");
  const auto result = extractIntoBase(buildZip({
      ZipFixtureEntry{.name = "before.txt", .data = "before"},
      ZipFixtureEntry{.name = "Lib/ResourcesUpd.dll", .data = "dll"},
      ZipFixtureEntry{.name = "after.txt", .data = "after"},
  }));
  EXPECT_NE(result.endedBy.value_or("").find("a file stands where the directory"),
            std::string::npos);
  EXPECT_EQ(result.filesWritten, 0u);
  EXPECT_EQ(result.filesAbandoned, 1u);
  EXPECT_EQ(result.entriesNotReached, 1u);
  EXPECT_EQ(readFile(base / "before.txt"), "old");
  EXPECT_FALSE(fs::exists(base / "after.txt"));
  EXPECT_FALSE(testsupport::hasPartFiles(base));
}

TEST_F(ExtractorTest, NamesLeadingOutsideOrNotTextAreRefused) {
  const auto result = extractIntoBase(buildZip({
      ZipFixtureEntry{.name = "../escaped.txt", .data = "x"},
      ZipFixtureEntry{.name = "Lib/../../escaped2.txt", .data = "x"},
      ZipFixtureEntry{.name = "/tmp/absolute.txt", .data = "x"},
      ZipFixtureEntry{.name = "C:\\Windows\\win.ini", .data = "x"},
      ZipFixtureEntry{.name = "\\\\server\\share\\x.txt", .data = "x"},
      ZipFixtureEntry{.name = std::string("nul\0.txt", 8), .data = "x"},
      ZipFixtureEntry{.name = "bad\xC3(.txt", .data = "x", .flags = 0x0800},  // not UTF-8
      ZipFixtureEntry{.name = "inside.txt", .data = "inside"},
  }));
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.skipped.size(), 7u);
  for (const auto& [name, cause] : causes(result)) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(cause.find("outside") != std::string::npos ||
                cause == "the name is not valid text");
  }
  EXPECT_FALSE(fs::exists(scratch / "escaped.txt"));
  EXPECT_FALSE(fs::exists(scratch / "escaped2.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 0);
  EXPECT_EQ(readFile(base / "inside.txt"), "inside");
}

TEST_F(ExtractorTest, ArchiveWithACommentExtractsAsWithout) {
  const auto result = extractIntoBase(buildZip({ZipFixtureEntry{.name = "a.txt", .data = "a"}},
                                               {.comment = "Actualizacion 2.4.1.7"}));
  EXPECT_TRUE(result.skipped.empty() && !result.endedBy);
  EXPECT_EQ(readFile(base / "a.txt"), "a");
}

TEST_F(ExtractorTest, EntriesThatCannotBeReadAreSkippedAndLeaveNoTrace) {
  const std::string content = std::string(100000, 'q') + "end";
  const auto damaged = [](std::string payload) {
    payload[payload.size() / 2] ^= 0x33;
    return payload;
  };
  std::vector<ZipFixtureEntry> failing = {
      {.name = "deflate.dat",
       .data = content,
       .method = 8,
       .payload = damaged(testsupport::deflateRaw(content))},
      {.name = "crc.dat", .data = content, .method = 8, .crc = 0x01020304},
      {.name = "shrunk.dat", .data = content, .method = 1, .payload = content},
      {.name = "ppmd.dat", .data = content, .method = 98, .payload = content},
      {.name = "aes.dat", .data = content, .method = 99, .payload = content, .flags = 1},
      {.name = "future.dat", .data = content, .versionNeeded = 64},
      {.name = "badlocal.dat", .data = content, .badLocalSignature = true},
  };
  if (testsupport::kBzip2Built) {
    failing.push_back({.name = "bzip2.dat",
                       .data = content,
                       .method = 12,
                       .payload = damaged(testsupport::bzip2Compress(content))});
  }
  if (testsupport::kLzmaBuilt) {
    failing.push_back({.name = "lzma.dat",
                       .data = content,
                       .method = 14,
                       .payload = damaged(testsupport::lzmaZipCompress(content, false))});
  }
  std::vector<ZipFixtureEntry> entries = failing;
  entries.push_back({.name = "good.dat", .data = content, .method = 8});
  for (const ZipFixtureEntry& entry : failing) writeFile(base / entry.name, "installed");

  const auto result = extractIntoBase(buildZip(entries));
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.skipped.size(), failing.size());
  EXPECT_FALSE(result.endedBy);
  for (const ZipFixtureEntry& entry : failing) {
    EXPECT_EQ(readFile(base / entry.name), "installed") << entry.name;
  }
  EXPECT_EQ(readFile(base / "good.dat"), content);
  EXPECT_FALSE(hasPartFiles(base));
}

}  // namespace
