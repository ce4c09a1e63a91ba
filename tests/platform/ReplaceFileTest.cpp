#include "platform/ReplaceFile.h"

#include <gtest/gtest.h>

#include "platform/FileStamps.h"
#include "tests/platform/ReplacementFile.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::Directory;
using platformtest::readFile;
using platformtest::replacementFile;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(ReplaceFile, ReplacesAnExistingFileAndCreatesAMissingOne) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  writeFile(dir / "Quendral.exe", "old");
  auto part = replacementFile(folder, "part", "new");
  platform::replaceFile(folder, part, "part", "Quendral.exe", folder.status("Quendral.exe"));
  part.release();  // on Windows nobody else may even read a held file
  EXPECT_EQ(readFile(dir / "Quendral.exe"), "new");
  EXPECT_FALSE(std::filesystem::exists(dir / "part"));

  part = replacementFile(folder, "part", "first");
  platform::replaceFile(folder, part, "part", "Readme.txt", folder.status("Readme.txt"));
  part.release();
  EXPECT_EQ(readFile(dir / "Readme.txt"), "first");
  EXPECT_FALSE(std::filesystem::exists(dir / "part"));
}

TEST(ReplaceFile, RefusesReadOnlyTargetsAndDirectoriesLeavingBothFiles) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  writeFile(dir / "readonly.dll", "installed");
  ASSERT_TRUE(platform::applyAttributes(dir / "readonly.dll", platform::ReadOnly));
  std::filesystem::create_directory(dir / "Lib");

  for (const char* name : {"readonly.dll", "Lib"}) {
    SCOPED_TRACE(name);
    auto part = replacementFile(folder, "part", "new");
    EXPECT_THROW(platform::replaceFile(folder, part, "part", name, folder.status(name)),
                 std::system_error);
    part.release();
    EXPECT_EQ(readFile(dir / "part"), "new");
    std::filesystem::remove(dir / "part");
  }
  EXPECT_EQ(readFile(dir / "readonly.dll"), "installed");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Lib"));
}

TEST(ReplaceFile, MissingReplacementIsAnErrorAndTheTargetStays) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  writeFile(dir / "Quendral.exe", "old");
  auto part = replacementFile(folder, "part", "new");
  EXPECT_THROW(
      platform::replaceFile(folder, part, "missing", "Quendral.exe", folder.status("Quendral.exe")),
      std::system_error);
  EXPECT_EQ(readFile(dir / "Quendral.exe"), "old");
}

}  // namespace
