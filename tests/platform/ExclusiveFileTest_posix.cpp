// What only POSIX systems do: the superuser writes to read-only files; /proc names the
// running program.
#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/platform/TempDir.h"

namespace {

using platform::ExclusiveFile;
using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;
using Mode = ExclusiveFile::Mode;

TEST(ExclusiveFile, ReadOnlyFileIsRefusedForWritingAndKeepsItsBytes) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write to read-only files";
  TempDir dir;
  const auto path = dir / "readonly.dll";
  writeFile(path, "installed");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);

  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(path));
  EXPECT_THROW(ExclusiveFile(path, Mode::CreateOrTruncate), std::system_error);
  EXPECT_EQ(readFile(path), "installed");
}

TEST(ExclusiveFile, RunningExecutableIsRefusedForWriting) {
  // The case of the updater replacing itself: the system refuses even root (ETXTBSY).
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(self));
  EXPECT_THROW(ExclusiveFile(self, Mode::OpenExisting), std::system_error);
}

}  // namespace
