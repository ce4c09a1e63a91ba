// On Windows the replaced file's attributes are what the new file keeps, and a file in use is
// not replaced.
#include "platform/ReplaceFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/ExecutableDirectory.h"
#include "tests/platform/ReplacementFile.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/WineAttributes.h"

namespace {

using platform::Directory;
using platformtest::readFile;
using platformtest::replacementFile;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(ReplaceFileWindows, NewFileTakesTheAttributesOfTheOld) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  struct Row {
    const char* name;
    DWORD target;
  };
  for (const Row& row : {
           Row{"hidden and system", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
           Row{"archive", FILE_ATTRIBUTE_ARCHIVE},
           Row{"hidden, without archive", FILE_ATTRIBUTE_HIDDEN},
           Row{"none", FILE_ATTRIBUTE_NORMAL},
       }) {
    SCOPED_TRACE(row.name);
    const auto target = dir / "Quendral.dll";
    writeFile(target, "old");
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), row.target));
    auto part = replacementFile(folder, "part", "new");

    platform::replaceFile(folder, part, "part", "Quendral.dll", folder.status("Quendral.dll"));
    part.release();
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(GetFileAttributesW(target.c_str()), platformtest::attributesAsShown(row.target));
    ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL));
  }
}

TEST(ReplaceFileWindows, FileOpenInAnotherProgramIsNotReplaced) {
  TempDir dir;
  const auto folder = Directory::open(dir.path());
  const auto target = dir / "Quendral.exe";
  writeFile(target, "in use");
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE},
                      DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
    SCOPED_TRACE(share);
    const HANDLE other = CreateFileW(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    auto part = replacementFile(folder, "part", "new");
    const auto status = folder.status("Quendral.exe");
    EXPECT_THROW(platform::replaceFile(folder, part, "part", "Quendral.exe", status),
                 std::system_error);
    CloseHandle(other);
    part.release();
    EXPECT_EQ(readFile(target), "in use");
    EXPECT_EQ(readFile(dir / "part"), "new");
    std::filesystem::remove(dir / "part");
  }
}

TEST(ReplaceFileWindows, RunningProgramIsNotReplaced) {
  // Beside the program: a rename to another volume would fail for that reason alone.
  const auto self = platform::executablePath();
  const auto folder = Directory::open(self.parent_path());
  const std::string name = self.filename().string();  // ASCII
  const auto size = std::filesystem::file_size(self);
  {
    auto part = replacementFile(folder, "platform_tests.part", "new");
    EXPECT_THROW(
        platform::replaceFile(folder, part, "platform_tests.part", name, folder.status(name)),
        std::system_error);
  }
  EXPECT_EQ(std::filesystem::file_size(self), size);
  std::filesystem::remove(self.parent_path() / "platform_tests.part");
}

}  // namespace
