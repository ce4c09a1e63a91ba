#include "platform/ExclusiveFile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/TempDir.h"

namespace {

using platform::ExclusiveFile;
using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;
using Mode = ExclusiveFile::Mode;

std::string readAll(ExclusiveFile& file) {
  std::string text(file.size(), '\0');
  file.seek(0);
  text.resize(file.read(text.data(), text.size()));
  return text;
}

TEST(ExclusiveFile, SecondOpenerFailsAndTheFileKeepsItsBytes) {
  TempDir dir;
  const auto path = dir / "archive.zip";
  writeFile(path, "first opener's bytes");
  ExclusiveFile holder(path, Mode::OpenExisting);

  for (Mode mode : {Mode::CreateOrTruncate, Mode::OpenExisting}) {
    try {
      ExclusiveFile second(path, mode);
      ADD_FAILURE() << "a second opener got the file";
    } catch (const std::system_error& error) {
      EXPECT_EQ(error.code(), std::errc::device_or_resource_busy);
      EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
    }
  }
  EXPECT_EQ(readAll(holder), "first opener's bytes");

  holder.close();
  ExclusiveFile after(path, Mode::OpenExisting);  // closing let go of the lock
  EXPECT_EQ(readAll(after), "first opener's bytes");
}

TEST(ExclusiveFile, CreateOrTruncateEmptiesAnExistingFileAndCreatesAMissingOne) {
  TempDir dir;
  writeFile(dir / "old", "stale content");
  ExclusiveFile truncated(dir / "old", Mode::CreateOrTruncate);
  EXPECT_EQ(truncated.size(), 0u);

  ExclusiveFile created(dir / "new", Mode::CreateOrTruncate);
  EXPECT_EQ(created.size(), 0u);
  EXPECT_TRUE(std::filesystem::exists(dir / "new"));
}

TEST(ExclusiveFile, OpenErrorsCarryTheSystemsDescription) {
  TempDir dir;
  try {
    ExclusiveFile missing(dir / "missing", Mode::OpenExisting);
    FAIL() << "opened a missing file";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
    EXPECT_NE(std::string(error.what()).find(error.code().message()), std::string::npos);
  }
  EXPECT_THROW(ExclusiveFile(dir / "no-dir" / "file", Mode::CreateOrTruncate), std::system_error);
  EXPECT_THROW(ExclusiveFile(dir.path(), Mode::CreateOrTruncate), std::system_error);
}

TEST(ExclusiveFile, CanOpenForWriting) {
  TempDir dir;
  writeFile(dir / "free", "x");
  writeFile(dir / "held", "x");
  ExclusiveFile holder(dir / "held", Mode::OpenExisting);

  EXPECT_TRUE(ExclusiveFile::canOpenForWriting(dir / "free"));
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(dir / "held"));
  EXPECT_TRUE(ExclusiveFile::canOpenForWriting(dir / "missing"));
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(dir / "no-dir" / "missing"));
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(dir.path()));

  // Asking neither harms the file nor keeps the lock.
  EXPECT_EQ(readFile(dir / "free"), "x");
  EXPECT_NO_THROW(ExclusiveFile(dir / "free", Mode::OpenExisting));
  holder.close();
  EXPECT_TRUE(ExclusiveFile::canOpenForWriting(dir / "held"));
}

TEST(ExclusiveFile, PositionFollowsWritesReadsAndSeeks) {
  TempDir dir;
  ExclusiveFile file(dir / "data", Mode::CreateOrTruncate);
  file.write("hello", 5);
  EXPECT_EQ(file.position(), 5u);
  file.write(", world", 7);
  EXPECT_EQ(file.position(), 12u);
  EXPECT_EQ(file.size(), 12u);

  file.seek(7);
  char buffer[16] = {};
  EXPECT_EQ(file.read(buffer, sizeof buffer), 5u);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(file.position(), 12u);
  EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);

  // Overwriting in the middle keeps the rest.
  file.seek(0);
  file.write("J", 1);
  EXPECT_EQ(file.position(), 1u);
  EXPECT_EQ(readAll(file), "Jello, world");

  // Reads at an offset, up to the end and past it.
  EXPECT_EQ(file.readAt(7, buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "wor");
  EXPECT_EQ(file.readAt(10, buffer, sizeof buffer), 2u);
  EXPECT_EQ(std::string(buffer, 2), "ld");
  EXPECT_EQ(file.readAt(12, buffer, sizeof buffer), 0u);
  EXPECT_EQ(file.readAt(100, buffer, sizeof buffer), 0u);
}

TEST(ExclusiveFile, MovedFileKeepsTheLockAndClosedFileRefusesUse) {
  TempDir dir;
  ExclusiveFile first(dir / "data", Mode::CreateOrTruncate);
  first.write("abc", 3);
  ExclusiveFile moved(std::move(first));
  EXPECT_FALSE(first.isOpen());  // NOLINT(bugprone-use-after-move): moved-from state is defined
  EXPECT_EQ(moved.position(), 3u);
  EXPECT_FALSE(ExclusiveFile::canOpenForWriting(dir / "data"));

  moved.close();
  EXPECT_FALSE(moved.isOpen());
  EXPECT_THROW(moved.write("d", 1), std::system_error);
  EXPECT_NO_THROW(moved.close());
  EXPECT_EQ(readFile(dir / "data"), "abc");
}

}  // namespace
