// What the extraction guarantees that only a POSIX system shows here: a process killed at any
// point, permission bits, a disk that refuses more data (a file size limit), and confinement
// against symbolic links (which Wine cannot make).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>

#include "platform/FileStamps.h"
#include "tests/support/ChildCheck.h"
#include "tests/support/PartFiles.h"
#include "tests/support/RunningUnderCi.h"
#include "tests/support/SkippedEntries.h"
#include "tests/support/ZipBuilder.h"
#include "tests/zip/ExtractorFixture.h"
#include "zip/MemoryInputStream.h"

namespace {

namespace fs = std::filesystem;
using testsupport::buildZip;
using testsupport::causes;
using testsupport::hasPartFiles;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;
using ziptest::extract;
using ziptest::ExtractorTest;

unsigned currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// kill -9 at any point leaves every target old or new; the next extraction leaves no part file.
TEST_F(ExtractorTest, AKilledExtractionLeavesNothingThatTheNextOneKeeps) {
  // Entries large enough that each part file lives long enough to be seen.
  std::string bulk;
  for (int k = 0; bulk.size() < 512 * 1024; ++k) bulk += std::to_string(k * 7919 % 100003) + ",";
  std::vector<ZipFixtureEntry> entries;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "dir" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt";
    writeFile(base / name, "old " + std::to_string(i));
    const std::string content = std::to_string(i) + bulk;
    entries.push_back(ZipFixtureEntry{.name = name, .data = content, .method = 8});
  }
  const std::string archive = buildZip(entries);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    extract(archive, base);
    ::_exit(0);
  }
  // Stop it while it writes: as soon as a part file of its own is there.
  bool seen = false;
  for (int polls = 0; polls < 200000 && !seen; ++polls) {
    for (int d = 0; d < 4 && !seen; ++d) seen = hasPartFiles(base / ("dir" + std::to_string(d)));
    if (!seen && ::waitpid(child, nullptr, WNOHANG) == child) break;
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(seen) << "the extraction ended before it could be stopped";

  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].name);
    const std::string content = readFile(base / entries[i].name);
    EXPECT_TRUE(content == "old " + std::to_string(i) || content == entries[i].data);
  }
  const auto report = extract(archive, base);
  EXPECT_EQ(report.filesWritten, entries.size());
  EXPECT_FALSE(hasPartFiles(base));
}

// A disk that refuses the new content ends the run: the old version stays whole (the file
// decoded before is not installed either), and no part file.
TEST_F(ExtractorTest, ADiskThatRefusesTheContentInstallsNothing) {
  writeFile(base / "big.dat", "old");
  writeFile(base / "small.txt", "old small");
  const std::string archive =
      buildZip({ZipFixtureEntry{.name = "small.txt", .data = "fits", .method = 8},
                ZipFixtureEntry{.name = "big.dat", .data = std::string(200000, 'n'), .method = 8},
                ZipFixtureEntry{.name = "after.txt", .data = "after", .method = 8}});
  const std::string failure = testsupport::runWithFileSizeLimit(50000, [&]() -> std::string {
    const auto report = extract(archive, base);
    if (causes(report).size() != 1 || causes(report)[0].first != "big.dat")
      return "big.dat was not the one entry skipped";
    if (!report.endedBy || report.filesWritten != 0) return "the run did not end unplaced";
    if (readFile(base / "big.dat") != "old") return "the old file changed";
    if (readFile(base / "small.txt") != "old small") return "the entry before was installed";
    if (fs::exists(base / "after.txt")) return "the entry after was installed";
    return hasPartFiles(base) ? "a part file stayed" : "";
  });
  EXPECT_EQ(failure, "");
}

// A replaced file keeps what its owner made of it; a new one gets the usual mode, with the
// execute bits of an entry made on Unix.
TEST_F(ExtractorTest, ReplacedFilesKeepTheirModeAndUnixEntriesTheirExecuteBits) {
  writeFile(base / "run.sh", "old");
  fs::permissions(base / "run.sh", fs::perms(0750));
  writeFile(base / "data.txt", "old");
  fs::permissions(base / "data.txt", fs::perms(0604));
  constexpr uint8_t unix = 3;
  const auto report = extract(buildZip({ZipFixtureEntry{.name = "run.sh",
                                                        .data = "new",
                                                        .hostSystem = unix,
                                                        .externalAttributes = 0100644u << 16},
                                        ZipFixtureEntry{.name = "data.txt", .data = "new"},
                                        ZipFixtureEntry{.name = "tool",
                                                        .data = "new",
                                                        .hostSystem = unix,
                                                        .externalAttributes = 0100755u << 16},
                                        ZipFixtureEntry{.name = "plain.txt",
                                                        .data = "new",
                                                        .hostSystem = unix,
                                                        .externalAttributes = 0100644u << 16},
                                        ZipFixtureEntry{.name = "dos.exe", .data = "new"}}),
                              base);
  ASSERT_EQ(report.filesWritten, 5u);
  const auto mode = [&](const char* name) {
    return static_cast<unsigned>(fs::status(base / name).permissions()) & 0777;
  };
  const unsigned usual = 0666 & ~currentUmask();
  EXPECT_EQ(mode("run.sh"), 0750u);
  EXPECT_EQ(mode("data.txt"), 0604u);
  EXPECT_EQ(mode("tool"), usual | ((usual & 0444) >> 2));
  EXPECT_EQ(mode("plain.txt"), usual);
  EXPECT_EQ(mode("dos.exe"), usual);
}

ino_t inodeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0);
  return st.st_ino;
}

// A file whose content is already the entry's is left in place (the same file afterwards); any
// difference, wherever it lies, replaces it whole.
TEST_F(ExtractorTest, AFileThatIsAlreadyTheSameIsNotRewritten) {
  std::string big;
  for (int i = 0; big.size() < 200000; ++i) big += std::to_string(i * 7919 % 100003) + ",";
  const struct {
    const char* name;
    std::string old;
    std::string entry;
  } cases[] = {
      {"same", "same content", "same content"},
      {"same and longer than a comparison", big, big},
      {"same and empty", "", ""},
      {"differs at the start", "Xame content", "same content"},
      {"differs at the end", big + "a", big + "b"},
      {"differs past a comparison", big, std::string(big).replace(150000, 1, "#")},
      {"old is longer", big + "tail", big},
      {"old is shorter", big, big + "tail"},
      {"old is empty", "", "new"},
      {"new is empty", "old", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(base);
    fs::create_directories(base);
    writeFile(base / "f.dat", c.old);
    const ZipFixtureEntry stamp;  // an install of the same version has the entry's time
    ASSERT_TRUE(platform::setLastWriteTimeFromDos(base / "f.dat", stamp.dosDate, stamp.dosTime));
    const ino_t before = inodeOf(base / "f.dat");
    const auto report =
        extract(buildZip({ZipFixtureEntry{.name = "f.dat", .data = c.entry, .method = 8}}), base);
    EXPECT_EQ(report.filesWritten, 1u);
    EXPECT_EQ(readFile(base / "f.dat"), c.entry);
    EXPECT_EQ(inodeOf(base / "f.dat") == before, c.old == c.entry) << "left in place";
    // Its time is the entry's (2024) either way, not the moment it was written or left.
    EXPECT_LT(fs::last_write_time(base / "f.dat"),
              fs::file_time_type::clock::now() - std::chrono::hours(24 * 30));
    EXPECT_FALSE(hasPartFiles(base));
  }
}

// Only a regular file that is no link and has no other name can be left as the entry's: a link
// is judged by nothing it leads to and is replaced; a file with another name is replaced, so
// that the entry's time and attributes do not reach that other name. What a link leads to, and
// the other name, stay exactly as they were.
TEST_F(ExtractorTest, ALinkOrAFileWithAnotherNameIsNeverLeftAsTheEntry) {
  const ZipFixtureEntry stamp;
  const auto installed = [&](const fs::path& path, const std::string& content) {
    writeFile(path, content);
    ASSERT_TRUE(platform::setLastWriteTimeFromDos(path, stamp.dosDate, stamp.dosTime));
  };
  // The entries' content sits, with their time, where each link leads.
  installed(base / "b.txt", "content of a");
  fs::create_symlink("b.txt", base / "a.txt");
  installed(outside / "config.ini", "config");
  fs::create_symlink(outside / "config.ini", base / "config.ini");
  const auto outsideTime = fs::last_write_time(outside / "config.ini");
  installed(base / "shared.dll", "shared");
  fs::create_hard_link(base / "shared.dll", outside / "shared.dll");

  const auto report = extract(
      buildZip({ZipFixtureEntry{.name = "a.txt", .data = "content of a", .method = 8},
                ZipFixtureEntry{.name = "b.txt", .data = "new b", .method = 8},
                ZipFixtureEntry{.name = "config.ini", .data = "config", .externalAttributes = 1},
                ZipFixtureEntry{.name = "shared.dll", .data = "shared", .externalAttributes = 1}}),
      base);
  EXPECT_EQ(report.filesWritten, 4u);
  EXPECT_TRUE(report.skipped.empty());
  for (const char* name : {"a.txt", "config.ini", "shared.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(fs::is_symlink(base / name));
    EXPECT_EQ(fs::hard_link_count(base / name), 1u);
  }
  EXPECT_EQ(readFile(base / "a.txt"), "content of a");
  EXPECT_EQ(readFile(base / "b.txt"), "new b");
  EXPECT_EQ(readFile(outside / "config.ini"), "config");
  EXPECT_EQ(fs::last_write_time(outside / "config.ini"), outsideTime);
  const auto writable = [](const fs::path& path) {
    return (fs::status(path).permissions() & fs::perms::owner_write) != fs::perms::none;
  };
  EXPECT_TRUE(writable(outside / "config.ini"))
      << "the read-only attribute reached the link's file";
  EXPECT_TRUE(writable(outside / "shared.dll")) << "the read-only attribute reached the other name";
  EXPECT_FALSE(writable(base / "shared.dll"));
}

// The superuser replacing another user's set-user-ID program: the new file is the superuser's,
// so it must not keep the bits that would run it as its owner (an overwrite in place would have
// cleared them too). An ordinary user runs it on its own set-user-ID file.
TEST_F(ExtractorTest, AReplacedSetUserIdFileLosesTheSpecialBits) {
  constexpr uid_t nobody = 65534;
  writeFile(base / "tool", "old");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown((base / "tool").c_str(), nobody, nobody), 0);
  }
  ASSERT_EQ(::chmod((base / "tool").c_str(), 06755), 0);
  const auto report = extract(buildZip({ZipFixtureEntry{.name = "tool", .data = "new"}}), base);
  EXPECT_EQ(report.filesWritten, 1u);
  struct stat st {};
  ASSERT_EQ(::stat((base / "tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  EXPECT_EQ(readFile(base / "tool"), "new");
}

// An archive of many folders extracts within a small limit of open files: folders are held
// only while entries need them (at most the 256 entries begun ahead, and a few more).
TEST_F(ExtractorTest, AnArchiveOfManyFoldersNeedsFewOpenFiles) {
  std::vector<ZipFixtureEntry> entries;
  for (int i = 0; i < 800; ++i) {
    entries.push_back({.name = "d" + std::to_string(i) + "/f", .data = std::to_string(i)});
  }
  const std::string archive = buildZip(entries);
  const std::string failure = testsupport::runWithOpenFileLimit(450, [&]() -> std::string {
    const auto report = extract(archive, base);
    if (report.filesWritten == entries.size()) return "";
    return std::to_string(report.filesWritten) + " written; " +
           (report.skipped.empty() ? report.endedBy.value_or("") : report.skipped[0].reason);
  });
  EXPECT_EQ(failure, "");
}

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

  // Every path through a link is refused, also one that stays inside; a target that is a link
  // is replaced by the new file, and what it led to stays as it was.
  EXPECT_EQ(causes(report).size(), 4u);
  EXPECT_FALSE(report.endedBy);
  EXPECT_EQ(report.filesWritten, 1u);
  EXPECT_FALSE(fs::exists(base / "inside" / "fine.txt"));
  EXPECT_FALSE(fs::is_symlink(base / "victim.txt"));
  EXPECT_EQ(readFile(base / "victim.txt"), "evil");
  EXPECT_EQ(readFile(outside / "victim.txt"), "original");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

// A real full disk, on a small file system of its own: with too little space for the files
// nothing is written at all; when the disk fills up while the entries are decoded nothing is
// installed. Either way the old version stays whole and nothing is left behind.
TEST_F(ExtractorTest, AFullDiskLeavesTheOldVersionWholeAndNothingBehind) {
  const fs::path mount = scratch / "small";
  fs::create_directories(mount);
  std::vector<ZipFixtureEntry> entries;
  // More entries than are begun ahead of the first finished one, so that the disk fills up
  // with entries still to be decoded.
  for (int i = 0; i < 300; ++i) {
    entries.push_back({.name = "Lib/f" + std::to_string(i) + ".dll",
                       .data = std::string(7000, static_cast<char>('a' + i % 26)),
                       .method = 8});
  }
  const std::string archive = buildZip(entries);
  struct Row {
    std::string name;
    uint64_t fileSystemBytes;
    bool fillWhileDecoding;
    std::string endedBy;
  };
  const Row rows[] = {{"TooLittleSpace", 65u << 20, false, "not enough free space"},
                      {"FullWhileDecoding", 80u << 20, true, "No space left on device"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string verdict =
        testsupport::runOnSmallFileSystem(mount, row.fileSystemBytes, [&]() -> std::string {
          const fs::path app = mount / "app";
          for (const auto& entry : entries) writeFile(app / entry.name, "old");
          fs::create_directories(app / "Update");
          zip::MemoryInputStream stream(std::as_bytes(std::span(archive.data(), archive.size())));
          zip::ZipArchive opened(stream);
          zip::ExtractOptions options;
          options.journal = app / "Update" / "install-journal";
          options.threads = 1;  // so that the entries after the first are decoded after it
          options.progress = [&](zip::ExtractionPhase, size_t done, size_t) {
            if (!row.fillWhileDecoding || done != 1) return;
            const std::string block(1 << 20, 'x');
            std::ofstream filler(mount / "filler", std::ios::binary);
            while (filler.write(block.data(), block.size())) {
            }
          };
          const zip::ExtractionReport report = zip::Extractor(opened, app, options).run();
          if (report.endedBy.value_or("").find(row.endedBy) == std::string::npos) {
            return "ended by: " + report.endedBy.value_or("nothing");
          }
          if (report.filesWritten != 0) return "files were installed";
          for (const auto& entry : entries) {
            if (readFile(app / entry.name) != "old") return entry.name + " is not the old one";
          }
          if (hasPartFiles(app)) return "a part file stayed";
          return fs::is_empty(app / "Update") ? "" : "the journal stayed";
        });
    if (verdict.starts_with(testsupport::kNoSmallFileSystem)) {
      UPDATER_SKIP_OR_FAIL_UNDER_CI() << verdict;
    }
    EXPECT_EQ(verdict, "");
  }
}

}  // namespace
