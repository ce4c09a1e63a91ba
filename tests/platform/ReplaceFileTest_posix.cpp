// On POSIX the replaced file's permission bits are what the new file keeps, and nothing more.
#include "platform/ReplaceFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/platform/ReplacementFile.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::Directory;
using platformtest::readFile;
using platformtest::replacementFile;
using platformtest::TempDir;
using platformtest::writeFile;

mode_t modeOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(ReplaceFilePosix, NewFileTakesThePermissionBitsOfTheOld) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  const struct {
    const char* name;
    mode_t target, part, expected;
  } cases[] = {
      {"program", 0755, 0600, 0755},
      {"group-readable", 0640, 0644, 0640},
      {"owner only", 0700, 0666, 0700},
      // The special bits belong to the old content; an overwrite in place clears them too.
      {"set-user-ID and set-group-ID", 06755, 0600, 0755},
      {"sticky", 01777, 0600, 0777},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(dir / "updater", "old");
    ASSERT_EQ(::chmod((dir / "updater").c_str(), c.target), 0);
    auto part = replacementFile(folder, "part", "new");
    ASSERT_EQ(::chmod((dir / "part").c_str(), c.part), 0);
    platform::replaceFile(folder, part, "part", "updater", folder.status("updater"));
    EXPECT_EQ(modeOf(dir / "updater"), c.expected);
  }
  // A new target keeps the temporary file's own mode.
  auto part = replacementFile(folder, "part", "new");
  ASSERT_EQ(::chmod((dir / "part").c_str(), 0640), 0);
  platform::replaceFile(folder, part, "part", "fresh", folder.status("fresh"));
  EXPECT_EQ(modeOf(dir / "fresh"), 0640u);
}

// The rename replaces a link itself: what it leads to keeps its content and mode, and lends
// the new file nothing.
TEST(ReplaceFilePosix, ALinkIsReplacedAndWhatItLeadsToStays) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  writeFile(dir / "elsewhere", "theirs");
  ASSERT_EQ(::chmod((dir / "elsewhere").c_str(), 04755), 0);
  std::filesystem::create_symlink(dir / "elsewhere", dir / "link");
  auto part = replacementFile(folder, "part", "new");
  ASSERT_EQ(::chmod((dir / "part").c_str(), 0600), 0);
  platform::replaceFile(folder, part, "part", "link", folder.status("link"));
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(readFile(dir / "link"), "new");
  EXPECT_EQ(modeOf(dir / "link"), 0600u);
  EXPECT_EQ(readFile(dir / "elsewhere"), "theirs");
  EXPECT_EQ(modeOf(dir / "elsewhere"), 04755u);
}

}  // namespace
