#include "platform/ReplaceFile.h"

#include <gtest/gtest.h>

#include "platform/FileStamps.h"
#include "tests/platform/TempDir.h"

namespace {

using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(ReplaceFile, ReplacesAnExistingFileAndCreatesAMissingOne) {
  TempDir dir;
  writeFile(dir / "Quendral.exe", "old");
  writeFile(dir / "part", "new");
  platform::replaceFile(dir / "part", dir / "Quendral.exe");
  EXPECT_EQ(readFile(dir / "Quendral.exe"), "new");
  EXPECT_FALSE(std::filesystem::exists(dir / "part"));

  writeFile(dir / "part", "first");
  platform::replaceFile(dir / "part", dir / "Readme.txt");
  EXPECT_EQ(readFile(dir / "Readme.txt"), "first");
  EXPECT_FALSE(std::filesystem::exists(dir / "part"));
}

TEST(ReplaceFile, RefusesReadOnlyTargetsAndDirectoriesLeavingBothFiles) {
  TempDir dir;
  writeFile(dir / "readonly.dll", "installed");
  ASSERT_TRUE(platform::applyAttributes(dir / "readonly.dll", platform::ReadOnly));
  std::filesystem::create_directory(dir / "Lib");

  for (const char* name : {"readonly.dll", "Lib"}) {
    SCOPED_TRACE(name);
    writeFile(dir / "part", "new");
    EXPECT_THROW(platform::replaceFile(dir / "part", dir / name), std::system_error);
    EXPECT_EQ(readFile(dir / "part"), "new");
  }
  EXPECT_EQ(readFile(dir / "readonly.dll"), "installed");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Lib"));
}

TEST(ReplaceFile, MissingReplacementIsAnErrorAndTheTargetStays) {
  TempDir dir;
  writeFile(dir / "Quendral.exe", "old");
  EXPECT_THROW(platform::replaceFile(dir / "missing", dir / "Quendral.exe"), std::system_error);
  EXPECT_EQ(readFile(dir / "Quendral.exe"), "old");
}

}  // namespace
