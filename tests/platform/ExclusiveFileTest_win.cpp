// Windows share modes: our file shuts out every other program, and files that other programs
// hold, or that are running, are refused for writing.
#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/ExecutableDirectory.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::ExclusiveFile;
using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;
using Mode = ExclusiveFile::Mode;

// A handle as another program would hold it, closed at the end of the scope.
class ForeignOpener {
public:
  ForeignOpener(const std::filesystem::path& path, DWORD access, DWORD share)
      : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr)),
        error_(GetLastError()) {}
  ~ForeignOpener() {
    if (isOpen()) CloseHandle(handle_);
  }
  ForeignOpener(const ForeignOpener&) = delete;
  ForeignOpener& operator=(const ForeignOpener&) = delete;
  bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD error() const { return error_; }

private:
  HANDLE handle_;
  DWORD error_;
};

TEST(ExclusiveFileWindows, NoOtherOpenerGetsInNotEvenToRead) {
  TempDir dir;
  const auto path = dir / "archive.zip";
  writeFile(path, "ours");
  ExclusiveFile holder(path, Mode::OpenExisting);

  const DWORD everyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
    SCOPED_TRACE(access);
    ForeignOpener other(path, access, everyShare);
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(other.error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }
  holder.close();
  EXPECT_TRUE(ForeignOpener(path, GENERIC_READ, 0).isOpen());
}

TEST(ExclusiveFileWindows, FileAnotherProgramHoldsIsRefusedAndKeepsItsBytes) {
  TempDir dir;
  const auto path = dir / "VersionesKUB.txt";
  writeFile(path, "theirs");
  // Even an opener that shares everything makes our unshared open fail.
  ForeignOpener other(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_TRUE(other.isOpen());
  try {
    ExclusiveFile ours(path, Mode::CreateOrTruncate);
    ADD_FAILURE() << "opened a file another program holds";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(error.code(), std::errc::device_or_resource_busy);
  }
  EXPECT_EQ(readFile(path), "theirs");
}

TEST(ExclusiveFileWindows, CanOpenForWritingFollowsTheOtherOpenersSharing) {
  TempDir dir;
  const auto path = dir / "Quendral.dll";
  writeFile(path, "x");
  struct Row {
    const char* name;
    DWORD share;
    bool writable;
  };
  for (const Row& row : {
           Row{"held without sharing", 0, false},
           Row{"held for reading without delete sharing", FILE_SHARE_READ | FILE_SHARE_WRITE,
               false},
           Row{"held with delete sharing", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
               true},
       }) {
    SCOPED_TRACE(row.name);
    ForeignOpener other(path, GENERIC_READ, row.share);
    ASSERT_TRUE(other.isOpen());
    EXPECT_EQ(ExclusiveFile::canOpenForWriting(path), row.writable);
  }
  EXPECT_TRUE(ExclusiveFile::canOpenForWriting(path));
}

TEST(ExclusiveFileWindows, ReadOnlyFileIsRefusedForWritingAndKeepsItsBytes) {
  TempDir dir;
  const auto path = dir / "readonly.dll";
  writeFile(path, "installed");
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(path));
  EXPECT_THROW(ExclusiveFile(path, Mode::CreateOrTruncate), std::system_error);
  EXPECT_EQ(readFile(path), "installed");
}

TEST(ExclusiveFileWindows, RunningExecutableIsRefusedForWriting) {
  // The case of the updater replacing itself: Windows maps a running image without write or
  // delete sharing.
  const auto self = platform::executablePath();
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(self));
  EXPECT_THROW(ExclusiveFile(self, Mode::OpenExisting), std::system_error);
}

TEST(ExclusiveFileWindows, CreateOrTruncateKeepsTheAttributesOfTheFileItEmpties) {
  TempDir dir;
  const auto path = dir / "hidden.zip";
  writeFile(path, "old content");
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ExclusiveFile file(path, Mode::CreateOrTruncate);
  EXPECT_EQ(file.size(), 0u);
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
}

}  // namespace
