// Windows attributes: the four an archive can store are set exactly as stored.
#include "platform/FileStamps.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "tests/platform/DosStamp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/WineAttributes.h"

namespace {

using namespace platform;
using platformtest::TempDir;
using platformtest::writeFile;

constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

DWORD attributesOf(const std::filesystem::path& path) {
  return GetFileAttributesW(path.c_str());
}

TEST(FileStampsWindows, ApplyAttributesSetsTheFourAttributesExactly) {
  TempDir dir;
  const auto path = dir / "file.exe";
  writeFile(path, "x");

  struct Row {
    const char* name;
    DWORD before;
    uint32_t attributes;
    DWORD after;  // of the four settable ones
  };
  for (const Row& row : {
           Row{"read-only", FILE_ATTRIBUTE_ARCHIVE, ReadOnly, FILE_ATTRIBUTE_READONLY},
           Row{"hidden and system", FILE_ATTRIBUTE_NORMAL, Hidden | System,
               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
           Row{"all four", FILE_ATTRIBUTE_NORMAL, ReadOnly | Hidden | System | Archive, kSettable},
           Row{"none clears read-only", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 0, 0},
           Row{"the directory bit is not a setting", FILE_ATTRIBUTE_NORMAL,
               DirectoryAttribute | Archive, FILE_ATTRIBUTE_ARCHIVE},
       }) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), row.before));
    EXPECT_TRUE(applyAttributes(path, row.attributes));
    EXPECT_EQ(attributesOf(path) & kSettable,
              platformtest::attributesAsShown(row.after) & kSettable);
    EXPECT_EQ(attributesOf(path) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  }
  EXPECT_TRUE(applyAttributes(path, 0));  // a read-only file can still be made writable
  EXPECT_FALSE(applyAttributes(dir / "missing", 0));
}

TEST(FileStampsWindows, DirectoryKeepsBeingADirectoryAndTakesItsTime) {
  TempDir dir;
  const auto sub = dir / "sub";
  std::filesystem::create_directory(sub);
  EXPECT_TRUE(applyAttributes(sub, DirectoryAttribute | Hidden));
  EXPECT_EQ(attributesOf(sub) & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
  // Windows needs backup semantics to open a directory for its times.
  EXPECT_TRUE(setLastWriteTimeFromDos(sub, platformtest::dosDate(2024, 7, 1),
                                      platformtest::dosTime(12, 0, 0)));
}

TEST(FileStampsWindows, TimeOfAReadOnlyOrOpenFileCanBeSet) {
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  const HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(setLastWriteTimeFromDos(path, platformtest::dosDate(2024, 1, 15), 0));
  CloseHandle(reader);

  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(setLastWriteTimeFromDos(path, platformtest::dosDate(2024, 1, 16), 0));
}

}  // namespace
