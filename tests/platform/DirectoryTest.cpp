// A folder held open, and the names in it.
#include "platform/Directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "platform/ExclusiveFile.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::Directory;
using platform::FileStatus;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(Directory, OpensAndMakesTheFoldersInIt) {
  TempDir dir;
  writeFile(dir / "file.txt", "x");
  const auto folder = Directory::open(dir.path());
  const struct {
    const char* name;
    std::errc error;  // std::errc{} when it opens
  } cases[] = {
      {"missing", std::errc::no_such_file_or_directory},
      {"file.txt", std::errc::not_a_directory},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code error;
    EXPECT_FALSE(folder.openFolder(c.name, error));
    EXPECT_EQ(error, c.error);
  }
  std::error_code error;
  EXPECT_TRUE(folder.makeFolder("Lib", error)) << error.message();
  EXPECT_FALSE(folder.makeFolder("Lib", error));
  EXPECT_EQ(error, std::errc::file_exists);
  const auto lib = folder.openFolder("Lib", error);
  ASSERT_TRUE(lib) << error.message();
  lib->createHeldFile("inside.dll").release();
  EXPECT_TRUE(std::filesystem::exists(dir / "Lib" / "inside.dll"));
}

TEST(Directory, SaysWhatStandsAtANameAndWhichNamesThereAre) {
  TempDir dir;
  writeFile(dir / "file.txt", "12345");
  std::filesystem::create_directory(dir / "Lib");
  const auto folder = Directory::open(dir.path());
  EXPECT_EQ(folder.status("missing").kind, FileStatus::Kind::Missing);
  EXPECT_EQ(folder.status("Lib").kind, FileStatus::Kind::Folder);
  const FileStatus file = folder.status("file.txt");
  EXPECT_EQ(file.kind, FileStatus::Kind::File);
  EXPECT_EQ(file.size, 5u);
  EXPECT_FALSE(file.readOnly);
  auto names = folder.names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Lib", "file.txt"}));
}

// An existing file is held for comparing only when no other opener holds it.
TEST(Directory, HoldsAnExistingFileThatNoOneElseHolds) {
  TempDir dir;
  writeFile(dir / "file.txt", "content");
  std::filesystem::create_directory(dir / "Lib");
  const auto folder = Directory::open(dir.path());
  Directory::Held outcome = Directory::Held::NotHere;
  {
    platform::ExclusiveFile other(dir / "file.txt", platform::ExclusiveFile::Mode::OpenExisting);
    EXPECT_FALSE(folder.canOpenForWriting("file.txt"));
    EXPECT_FALSE(folder.openHeldFile("file.txt", outcome));
    EXPECT_EQ(outcome, Directory::Held::ByAnother);
  }
  EXPECT_TRUE(folder.canOpenForWriting("file.txt"));
  auto held = folder.openHeldFile("file.txt", outcome);
  ASSERT_TRUE(held);
  EXPECT_EQ(outcome, Directory::Held::Yes);
  EXPECT_EQ(held->status().links, 1u);
  EXPECT_EQ(held->status().size, 7u);

  for (const char* name : {"missing", "Lib"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(folder.openHeldFile(name, outcome));
    EXPECT_EQ(outcome, Directory::Held::NotHere);
  }
}

// What an install needs to outlive a power loss, and to leave room on the disk: the calls
// succeed (the free space itself is checked on a file system of its own, in the extraction's
// tests: other writers share this one).
TEST(Directory, FlushesWhatWasWrittenAndTellsTheFreeSpace) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  const std::optional<uint64_t> free = folder.freeSpace();
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  platform::HeldFile file = folder.createHeldFile("part");
  const std::string block(1 << 20, 'x');
  for (int i = 0; i < 8; ++i) file.write(std::as_bytes(std::span(block.data(), block.size())));
  EXPECT_TRUE(file.flushIfFileByFile());
  EXPECT_TRUE(file.flushToDisk());
  EXPECT_TRUE(folder.syncFileSystem());
  folder.rename("part", "whole");
  EXPECT_TRUE(folder.flushNames());
  file.release();
  EXPECT_FALSE(file.flushToDisk()) << "a released file has nothing to flush";
}

}  // namespace
