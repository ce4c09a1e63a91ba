// extractArchive as the update worker uses it: the downloaded archive, still open, extracted
// over the updater's directory with the archive password; failures skip entries silently and
// show only in the result.
#include "update/ExtractArchive.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "zip/MemoryInputStream.h"
#include "zip/PartFile.h"

namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;
using testsupport::buildZip;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;

const std::string password = "Quelbratzun%7";

bool isReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool hasPartFiles(const fs::path& directory) {
  for (const auto& item : fs::recursive_directory_iterator(directory)) {
    if (item.path().filename().string().find(zip::PartFile::marker) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::time_t localTimeOfDos(uint16_t date, uint16_t time) {
  std::tm fields{};
  fields.tm_year = 80 + (date >> 9);
  fields.tm_mon = ((date >> 5) & 0x0F) - 1;
  fields.tm_mday = date & 0x1F;
  fields.tm_hour = time >> 11;
  fields.tm_min = (time >> 5) & 0x3F;
  fields.tm_sec = (time & 0x1F) * 2;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

std::time_t lastWriteTime(const fs::path& path) {
  const auto written = std::chrono::file_clock::to_sys(fs::last_write_time(path));
  return std::chrono::system_clock::to_time_t(
      std::chrono::time_point_cast<std::chrono::system_clock::duration>(written));
}

class ExtractArchiveTest : public testing::Test {
protected:
  // The updater's directory, written with a trailing separator as the worker passes it.
  std::string baseText() const { return (scratch / "app").string() + "/"; }
  fs::path app() const { return scratch / "app"; }

  void SetUp() override { fs::create_directories(app()); }

  // As the worker does it: the archive in the update directory, still held open exclusively
  // by the downloader, its position at the end of what was written.
  update::ExtractionResult extract(const std::string& archiveBytes) {
    const fs::path archivePath = app() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip";
    fs::create_directories(archivePath.parent_path());
    ExclusiveFile file(archivePath, ExclusiveFile::Mode::CreateOrTruncate);
    file.write(archiveBytes.data(), archiveBytes.size());
    return update::extractArchive(file, baseText());
  }

  testsupport::ScratchDirectory scratch;
};

TEST_F(ExtractArchiveTest, WritesFilesAndDirectoriesWithTheirTimesAndAttributes) {
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "Plugins/", .hostSystem = 3, .externalAttributes = 040755u << 16},
      ZipFixtureEntry{.name = "Plugins/Informes.dll",
                      .data = std::string(70000, 'i'),
                      .method = 8,
                      .hostSystem = 3,
                      .externalAttributes = 0100444u << 16,
                      .dosTime = 0x8C00,
                      .dosDate = 0x5A8F},
      ZipFixtureEntry{.name = "Quendral.exe",
                      .data = "new executable",
                      .method = 8,
                      .externalAttributes = 0x20,
                      .dosTime = 0x4A31,
                      .dosDate = 0x5921},
  }));

  EXPECT_TRUE(result.everythingWritten());
  EXPECT_EQ(result.filesWritten, 2u);
  EXPECT_EQ(result.directoriesWritten, 1u);
  EXPECT_TRUE(fs::is_directory(app() / "Plugins"));
  EXPECT_FALSE(isReadOnly(app() / "Plugins"));
  EXPECT_EQ(readFile(app() / "Plugins" / "Informes.dll"), std::string(70000, 'i'));
  EXPECT_TRUE(isReadOnly(app() / "Plugins" / "Informes.dll"));
  EXPECT_EQ(lastWriteTime(app() / "Plugins" / "Informes.dll"), localTimeOfDos(0x5A8F, 0x8C00));
  EXPECT_EQ(readFile(app() / "Quendral.exe"), "new executable");
  EXPECT_FALSE(isReadOnly(app() / "Quendral.exe"));
  EXPECT_EQ(lastWriteTime(app() / "Quendral.exe"), localTimeOfDos(0x5921, 0x4A31));
  // The archive stays where it was downloaded.
  EXPECT_TRUE(fs::exists(app() / "Update" / "KUBUpdate-ESC.2.4.1.7.zip"));
}

TEST_F(ExtractArchiveTest, BackslashNamesLandLikeSlashNames) {
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "Lib\\Informes\\", .externalAttributes = 0x10},
      ZipFixtureEntry{.name = "Lib\\Informes\\factura.rpt", .data = "report", .method = 8},
      ZipFixtureEntry{.name = "Lib/otro.txt", .data = "other"},
  }));
  EXPECT_TRUE(result.everythingWritten());
  EXPECT_EQ(readFile(app() / "Lib" / "Informes" / "factura.rpt"), "report");
  EXPECT_EQ(readFile(app() / "Lib" / "otro.txt"), "other");
}

TEST_F(ExtractArchiveTest, WhatIsNotAWholeArchiveWritesNothing) {
  const std::string whole = buildZip({ZipFixtureEntry{.name = "a.txt", .data = "a"}});
  const struct {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"html page", "<html><body><h1>404 Not Found</h1></body></html>"},
      {"cut before its end", whole.substr(0, whole.size() - 5)},
      {"only the beginning", whole.substr(0, 40)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto result = extract(c.bytes);
    EXPECT_FALSE(result.archiveOpened);
    EXPECT_FALSE(result.everythingWritten());
    EXPECT_FALSE(fs::exists(app() / "a.txt"));
  }
}

TEST_F(ExtractArchiveTest, EmptyStreamIsAnEmptyArchive) {
  const auto result = extract("");
  EXPECT_TRUE(result.archiveOpened);
  EXPECT_EQ(result.entriesInArchive, 0u);
  EXPECT_EQ(std::distance(fs::directory_iterator(app()), fs::directory_iterator()), 1);
}

TEST_F(ExtractArchiveTest, MissingBaseDirectoryWritesNothing) {
  const std::string bytes = buildZip({ZipFixtureEntry{.name = "a.txt", .data = "a"}});
  zip::MemoryInputStream stream(std::as_bytes(std::span(bytes.data(), bytes.size())));
  const auto result = update::extractArchive(stream, (scratch / "missing").string() + "/");
  EXPECT_FALSE(result.archiveOpened);
  EXPECT_FALSE(fs::exists(scratch / "missing"));
}

TEST_F(ExtractArchiveTest, ReplacesExistingFilesAndTheLaterOfTwoEntriesWins) {
  writeFile(app() / "config.ini", "old");
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "config.ini", .data = "first"},
      ZipFixtureEntry{.name = "config.ini", .data = "second", .method = 8},
      ZipFixtureEntry{.name = "empty.log"},
      ZipFixtureEntry{.name = "Vacio/"},
  }));
  EXPECT_TRUE(result.everythingWritten());
  EXPECT_EQ(readFile(app() / "config.ini"), "second");
  EXPECT_TRUE(fs::is_regular_file(app() / "empty.log"));
  EXPECT_EQ(fs::file_size(app() / "empty.log"), 0u);
  EXPECT_TRUE(fs::is_directory(app() / "Vacio"));
}

TEST_F(ExtractArchiveTest, ArchivePasswordOpensEncryptedEntries) {
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "plain.txt", .data = "plain", .method = 8},
      ZipFixtureEntry{.name = "secret.txt", .data = "secret", .method = 8, .password = password},
      ZipFixtureEntry{.name = "streamed.txt",
                      .data = "streamed",
                      .method = 12,
                      .password = password,
                      .dataDescriptor = true},
  }));
  EXPECT_TRUE(result.everythingWritten());
  EXPECT_EQ(readFile(app() / "secret.txt"), "secret");
  EXPECT_EQ(readFile(app() / "streamed.txt"), "streamed");
}

TEST_F(ExtractArchiveTest, WrongPasswordSkipsOnlyTheEncryptedEntries) {
  writeFile(app() / "secret.txt", "installed");
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "secret.txt", .data = "secret", .method = 8, .password = "otra"},
      ZipFixtureEntry{.name = "plain.txt", .data = "plain", .method = 8},
      ZipFixtureEntry{.name = "secret2.txt", .data = "secret", .password = "otra"},
  }));
  EXPECT_TRUE(result.archiveOpened);
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.entriesSkipped, 2u);
  EXPECT_EQ(readFile(app() / "plain.txt"), "plain");
  EXPECT_EQ(readFile(app() / "secret.txt"), "installed");
  EXPECT_FALSE(fs::exists(app() / "secret2.txt"));
}

TEST_F(ExtractArchiveTest, ReadOnlyOrHeldTargetsAreNotReplaced) {
  writeFile(app() / "readonly.dll", "installed");
  fs::permissions(app() / "readonly.dll", fs::perms::owner_read | fs::perms::group_read);
  writeFile(app() / "running.exe", "installed");
  ExclusiveFile held(app() / "running.exe", ExclusiveFile::Mode::OpenExisting);

  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "readonly.dll", .data = "new", .method = 8},
      ZipFixtureEntry{.name = "running.exe", .data = "new", .method = 8},
      ZipFixtureEntry{.name = "other.txt", .data = "new", .method = 8},
  }));
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.entriesSkipped, 2u);
  EXPECT_EQ(readFile(app() / "readonly.dll"), "installed");
  EXPECT_EQ(readFile(app() / "running.exe"), "installed");
  EXPECT_EQ(readFile(app() / "other.txt"), "new");
  EXPECT_FALSE(hasPartFiles(app()));
}

TEST_F(ExtractArchiveTest, ReadOnlyEntryKeepsALaterUpdateFromReplacingIt) {
  const std::string first =
      buildZip({ZipFixtureEntry{.name = "fixed.dat", .data = "1", .externalAttributes = 0x21}});
  EXPECT_TRUE(extract(first).everythingWritten());
  const auto second = extract(buildZip({ZipFixtureEntry{.name = "fixed.dat", .data = "2"}}));
  EXPECT_EQ(second.entriesSkipped, 1u);
  EXPECT_EQ(readFile(app() / "fixed.dat"), "1");
}

TEST_F(ExtractArchiveTest, BlockedParentDirectoryEndsTheExtraction) {
  writeFile(app() / "Lib", "a file where a directory is needed");
  const auto result = extract(buildZip({
      ZipFixtureEntry{.name = "before.txt", .data = "before"},
      ZipFixtureEntry{.name = "Lib/ResourcesUpd.dll", .data = "dll"},
      ZipFixtureEntry{.name = "after.txt", .data = "after"},
  }));
  EXPECT_TRUE(result.archiveOpened);
  EXPECT_TRUE(result.endedEarly);
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.entriesNotReached, 1u);
  EXPECT_EQ(readFile(app() / "before.txt"), "before");
  EXPECT_FALSE(fs::exists(app() / "after.txt"));
}

TEST_F(ExtractArchiveTest, EntriesThatCannotBeReadAreSkippedAndLeaveNoTrace) {
  const std::string content = std::string(100000, 'q') + "end";
  std::string damagedDeflate = testsupport::deflateRaw(content);
  damagedDeflate[damagedDeflate.size() / 2] ^= 0x33;
  std::string damagedBzip2 = testsupport::bzip2Compress(content);
  damagedBzip2[damagedBzip2.size() / 2] ^= 0x33;
  std::string damagedLzma = testsupport::lzmaZipCompress(content, false);
  damagedLzma[damagedLzma.size() / 2] ^= 0x33;
  const std::vector<ZipFixtureEntry> failing = {
      {.name = "deflate.dat", .data = content, .method = 8, .payload = damagedDeflate},
      {.name = "bzip2.dat", .data = content, .method = 12, .payload = damagedBzip2},
      {.name = "lzma.dat", .data = content, .method = 14, .payload = damagedLzma},
      {.name = "crc.dat", .data = content, .method = 8, .crc = 0x01020304},
      {.name = "shrunk.dat", .data = content, .method = 1, .payload = content},
      {.name = "ppmd.dat", .data = content, .method = 98, .payload = content},
      {.name = "aes.dat", .data = content, .method = 99, .payload = content, .flags = 1},
      {.name = "future.dat", .data = content, .versionNeeded = 64},
      {.name = "badlocal.dat", .data = content, .badLocalSignature = true},
  };
  std::vector<ZipFixtureEntry> entries = failing;
  entries.push_back({.name = "good.dat", .data = content, .method = 8});
  for (const ZipFixtureEntry& entry : failing) writeFile(app() / entry.name, "installed");

  const auto result = extract(buildZip(entries));
  EXPECT_EQ(result.filesWritten, 1u);
  EXPECT_EQ(result.entriesSkipped, failing.size());
  EXPECT_FALSE(result.endedEarly);
  for (const ZipFixtureEntry& entry : failing) {
    EXPECT_EQ(readFile(app() / entry.name), "installed") << entry.name;
  }
  EXPECT_EQ(readFile(app() / "good.dat"), content);
  EXPECT_FALSE(hasPartFiles(app()));
}

TEST_F(ExtractArchiveTest, NamesLeadingOutsideOrNotTextAreRefused) {
  const auto result = extract(buildZip({
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
  EXPECT_EQ(result.entriesSkipped, 7u);
  EXPECT_FALSE(fs::exists(scratch / "escaped.txt"));
  EXPECT_FALSE(fs::exists(scratch / "escaped2.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), fs::directory_iterator()), 1);
  EXPECT_EQ(readFile(app() / "inside.txt"), "inside");
}

TEST_F(ExtractArchiveTest, ArchiveWithACommentExtractsAsWithout) {
  const auto result = extract(buildZip({ZipFixtureEntry{.name = "a.txt", .data = "a"}},
                                       {.comment = "Actualizacion 2.4.1.7"}));
  EXPECT_TRUE(result.everythingWritten());
  EXPECT_EQ(readFile(app() / "a.txt"), "a");
}

}  // namespace
