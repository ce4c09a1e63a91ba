// What only POSIX systems do: the superuser writes to read-only files (so that check runs as an
// ordinary user); a file size limit stands for a full disk; /proc names the running program.
#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/platform/TempDir.h"
#include "tests/support/ChildCheck.h"

namespace {

using platform::ExclusiveFile;
using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;
using Mode = ExclusiveFile::Mode;

// The superuser may write to a read-only file, so this runs as an ordinary user.
TEST(ExclusiveFile, ReadOnlyFileIsRefusedForWritingAndKeepsItsBytes) {
  TempDir dir;
  const auto path = dir / "readonly.dll";
  const std::string failure = testsupport::runUnprivileged(dir.path(), [&]() -> std::string {
    writeFile(path, "installed");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    if (ExclusiveFile::canOpenForWriting(path)) return "canOpenForWriting said yes";
    try {
      ExclusiveFile opened(path, Mode::CreateOrTruncate);
      return "the file was opened for writing";
    } catch (const std::system_error&) {
    }
    return readFile(path) == "installed" ? "" : "the file lost its bytes";
  });
  EXPECT_EQ(failure, "");
}

// A disk that refuses more data makes write() fail, not fall silently short.
TEST(ExclusiveFile, AWriteTheDiskRefusesFails) {
  TempDir dir;
  const std::string failure = testsupport::runWithFileSizeLimit(1000, [&]() -> std::string {
    ExclusiveFile file(dir / "destination.zip", Mode::CreateOrTruncate);
    const std::string data(4000, 'x');
    try {
      file.write(data.data(), data.size());
    } catch (const std::system_error& error) {
      return error.code() == std::errc::file_too_large ? "" : error.what();
    }
    return "the write succeeded";
  });
  EXPECT_EQ(failure, "");
}

TEST(ExclusiveFile, RunningExecutableIsRefusedForWriting) {
  // The case of the updater replacing itself: the system refuses even root (ETXTBSY).
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(self));
  EXPECT_THROW(ExclusiveFile(self, Mode::OpenExisting), std::system_error);
}

}  // namespace
