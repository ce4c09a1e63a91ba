// extractArchive as the update worker uses it: the downloaded archive, still open, extracted
// over the updater's directory with the archive password; failures skip entries silently and
// show only in the result.
#include "update/ExtractArchive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "tests/support/ChildCheck.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/SkippedEntries.h"
#include "tests/support/ZipBuilder.h"
#include "update/FreeSpaceReserve.h"
#include "zip/JournalFile.h"
#include "zip/MemoryInputStream.h"

namespace {

namespace fs = std::filesystem;
using platform::ExclusiveFile;
using testsupport::buildZip;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;

using ::testing::HasSubstr;

const std::string password = update::kArchivePassword;

using testsupport::Causes;
using testsupport::causes;

bool isReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
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
    return update::extractArchive(file, baseText(),
                                  update::installJournalPath(archivePath.parent_path()));
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
  EXPECT_EQ(result.report.filesWritten, 2u);
  EXPECT_EQ(result.report.directoriesWritten, 1u);
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

// On a disk that the update would leave with less than the reserve free, nothing is written:
// the old version stays, and the worker ends "con errores".
TEST_F(ExtractArchiveTest, AnUpdateThatWouldFillTheDiskWritesNothing) {
  const fs::path mount = scratch / "small";
  fs::create_directories(mount);
  const std::string archive = buildZip(
      {ZipFixtureEntry{.name = "Quendral.exe", .data = std::string(3u << 20, 'n'), .method = 8}});
  const std::string verdict = testsupport::runOnSmallFileSystem(
      mount, update::kFreeSpaceReserve + (2u << 20), [&]() -> std::string {
        const fs::path base = mount / "app";
        writeFile(base / "Quendral.exe", "old");
        const fs::path archivePath = base / "Update" / "KUBUpdate-ESC.2.4.1.7.zip";
        fs::create_directories(archivePath.parent_path());
        ExclusiveFile file(archivePath, ExclusiveFile::Mode::CreateOrTruncate);
        file.write(archive.data(), archive.size());
        const auto result = update::extractArchive(
            file, base, update::installJournalPath(archivePath.parent_path()));
        if (result.everythingWritten()) return "it was taken for a whole update";
        if (result.report.endedBy.value_or("").find("not enough free space") == std::string::npos)
          return "ended by: " + result.report.endedBy.value_or("nothing");
        if (readFile(base / "Quendral.exe") != "old") return "the old program changed";
        if (fs::exists(update::installJournalPath(archivePath.parent_path())))
          return "the journal stayed";
        return fs::directory_iterator(base / "Update")->path() == archivePath
                   ? ""
                   : "something besides the archive is in Update";
      });
  if (verdict.starts_with(testsupport::kNoSmallFileSystem)) {
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << verdict;
  }
  EXPECT_EQ(verdict, "");
}

// A start completes, from the journal in the update folder, what a kill interrupted.
TEST_F(ExtractArchiveTest, AStartCompletesAnInstallFromTheUpdateFolder) {
  writeFile(app() / "Quendral.exe", "old");
  const std::string part = ".Quendral.exe.quendral-part-00000000000000ab";
  writeFile(app() / part, "new");
  fs::create_directories(app() / "Update");
  zip::JournalFile(update::installJournalPath(app() / "Update"))
      .write({.phase = zip::InstallJournal::Phase::Renaming,
              .files = {{.target = "Quendral.exe", .part = part}}},
             false);
  const zip::RollForwardReport report = update::completeInterruptedInstall(app() / "Update", app());
  EXPECT_EQ(report.installed, 1u);
  EXPECT_EQ(readFile(app() / "Quendral.exe"), "new");
  EXPECT_TRUE(fs::is_empty(app() / "Update"));
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
    EXPECT_THAT(result.openFailure.value_or(""), HasSubstr("no end record"));
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
  const auto result = update::extractArchive(stream, (scratch / "missing").string() + "/", {});
  EXPECT_FALSE(result.archiveOpened);
  EXPECT_THAT(result.openFailure.value_or(""), HasSubstr("does not exist"));
  EXPECT_FALSE(fs::exists(scratch / "missing"));
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
  EXPECT_EQ(result.report.filesWritten, 1u);
  EXPECT_EQ(causes(result.report),
            (Causes{{"secret.txt", "wrong password"}, {"secret2.txt", "wrong password"}}));
  EXPECT_EQ(readFile(app() / "plain.txt"), "plain");
  EXPECT_EQ(readFile(app() / "secret.txt"), "installed");
  EXPECT_FALSE(fs::exists(app() / "secret2.txt"));
}

}  // namespace
