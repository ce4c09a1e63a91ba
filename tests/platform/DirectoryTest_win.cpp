// On Windows a folder held open cannot be renamed or removed while it is held, so its path
// keeps leading to it.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/Directory.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::Directory;
using platformtest::TempDir;

TEST(DirectoryWindows, AHeldFolderAndTheFoldersAboveItStayWhereTheyAre) {
  TempDir dir;
  std::filesystem::create_directories(dir / "App" / "Lib");
  {
    const auto base = Directory::open(dir.path());
    std::error_code error;
    auto lib = base.openFolder("App", error)->openFolder("Lib", error);  // App itself let go
    ASSERT_TRUE(lib) << error.message();
    for (const char* name : {"App", "App\\Lib"}) {
      SCOPED_TRACE(name);
      const auto path = dir / name;
      EXPECT_FALSE(MoveFileW(path.c_str(), (dir / "moved").c_str()));
      EXPECT_FALSE(RemoveDirectoryW(path.c_str()));
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "App" / "Lib"));
  }
  EXPECT_TRUE(MoveFileW((dir / "App").c_str(), (dir / "moved").c_str())) << "let go";
}

}  // namespace
