// On POSIX: nothing at a name is reached through a symbolic link.
#include <gtest/gtest.h>

#include "platform/Directory.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::Directory;
using platform::FileStatus;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(DirectoryPosix, NothingIsReachedThroughALink) {
  TempDir dir;
  std::filesystem::create_directory(dir / "real");
  writeFile(dir / "real" / "file.txt", "x");
  std::filesystem::create_directory_symlink(dir / "real", dir / "folder-link");
  std::filesystem::create_symlink(dir / "real" / "file.txt", dir / "file-link");
  const auto folder = Directory::open(dir.path());

  std::error_code error;
  EXPECT_FALSE(folder.openFolder("folder-link", error));
  EXPECT_EQ(error, std::errc::too_many_symbolic_link_levels);
  for (const char* link : {"folder-link", "file-link"}) {
    SCOPED_TRACE(link);
    EXPECT_EQ(folder.status(link).kind, FileStatus::Kind::Link);
    Directory::Held outcome = Directory::Held::Yes;
    EXPECT_FALSE(folder.openHeldFile(link, outcome));
    EXPECT_EQ(outcome, Directory::Held::NotHere);
    EXPECT_FALSE(folder.removeIfUnheld(link));
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "real" / "file.txt"));
}

}  // namespace
