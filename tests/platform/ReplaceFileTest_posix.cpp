// On POSIX the replaced file's mode is what the new file keeps.
#include "platform/ReplaceFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/platform/TempDir.h"

namespace {

using platformtest::TempDir;
using platformtest::writeFile;

mode_t modeOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(ReplaceFilePosix, NewFileTakesTheModeOfTheOld) {
  TempDir dir;
  struct Row {
    mode_t target, part;
  };
  for (const Row& row : {Row{0755, 0600}, Row{0640, 0644}, Row{0700, 0666}}) {
    SCOPED_TRACE(row.target);
    writeFile(dir / "updater", "old");
    ASSERT_EQ(::chmod((dir / "updater").c_str(), row.target), 0);
    writeFile(dir / "part", "new");
    ASSERT_EQ(::chmod((dir / "part").c_str(), row.part), 0);
    platform::replaceFile(dir / "part", dir / "updater");
    EXPECT_EQ(modeOf(dir / "updater"), row.target);
  }
  // A new target keeps the temporary file's own mode.
  writeFile(dir / "part", "new");
  ASSERT_EQ(::chmod((dir / "part").c_str(), 0640), 0);
  platform::replaceFile(dir / "part", dir / "fresh");
  EXPECT_EQ(modeOf(dir / "fresh"), 0640u);
}

}  // namespace
