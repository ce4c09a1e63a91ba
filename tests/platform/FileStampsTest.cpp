#include "platform/FileStamps.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "tests/platform/CentralEuropeanTime.h"
#include "tests/platform/DosStamp.h"
#include "tests/platform/TempDir.h"
#include "tests/support/RunningUnderCi.h"

namespace {

using platformtest::TempDir;
using platformtest::writeFile;

using platformtest::dosDate;
using platformtest::dosTime;

// Seconds since 1970 in UTC, as the file system keeps the last-write time.
long long lastWriteSeconds(const std::filesystem::path& path) {
  const auto moment = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(path));
  return std::chrono::floor<std::chrono::seconds>(moment).time_since_epoch().count();
}

void setLastWriteSeconds(const std::filesystem::path& path, long long seconds) {
  const std::chrono::sys_seconds moment{std::chrono::seconds{seconds}};
  std::filesystem::last_write_time(path, std::chrono::file_clock::from_sys(moment));
}

TEST(FileStamps, DosTimeIsLocalTimeWithTheDaylightSavingOfItsDate) {
  platformtest::CentralEuropeanTime zone;
  if (!zone.active()) {
    UPDATER_SKIP_OR_FAIL_UNDER_CI()
        << "not in Central European time (start the tests with TZ=Europe/Madrid)";
  }
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");

  struct Row {
    const char* name;
    uint16_t date, time;
    long long expected;
  };
  for (const Row& row : {
           Row{"winter, UTC+1", dosDate(2024, 1, 15), dosTime(12, 0, 0), 1705316400},
           Row{"summer, UTC+2", dosDate(2024, 7, 1), dosTime(12, 0, 0), 1719828000},
           Row{"odd seconds are stored halved", dosDate(2024, 3, 15), dosTime(13, 45, 31),
               1710506730},
           Row{"earliest DOS date", dosDate(1980, 1, 1), dosTime(0, 0, 0), 315529200},
           Row{"leap day", dosDate(2024, 2, 29), dosTime(23, 59, 58), 1709247598},
           Row{"before the autumn change", dosDate(2024, 10, 27), dosTime(1, 59, 58), 1729987198},
       }) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(platform::setLastWriteTimeFromDos(path, row.date, row.time));
    EXPECT_EQ(lastWriteSeconds(path), row.expected);
  }
}

TEST(FileStamps, InvalidDosDateOrTimeChangesNothing) {
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  setLastWriteSeconds(path, 1000000000);

  struct Row {
    const char* name;
    uint16_t date, time;
  };
  for (const Row& row : {
           Row{"month 0", dosDate(2024, 0, 10), dosTime(12, 0, 0)},
           Row{"month 13", dosDate(2024, 13, 10), dosTime(12, 0, 0)},
           Row{"day 0", dosDate(2024, 5, 0), dosTime(12, 0, 0)},
           Row{"31 April", dosDate(2024, 4, 31), dosTime(12, 0, 0)},
           Row{"29 February of a common year", dosDate(2023, 2, 29), dosTime(12, 0, 0)},
           Row{"hour 24", dosDate(2024, 5, 10), dosTime(24, 0, 0)},
           Row{"minute 60", dosDate(2024, 5, 10), dosTime(12, 60, 0)},
           Row{"second 60", dosDate(2024, 5, 10), dosTime(12, 0, 60)},
           Row{"all zero", 0, 0},
       }) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(platform::splitDosDateTime(row.date, row.time), std::nullopt);
    EXPECT_FALSE(platform::setLastWriteTimeFromDos(path, row.date, row.time));
    EXPECT_EQ(lastWriteSeconds(path), 1000000000);
  }
  EXPECT_FALSE(platform::setLastWriteTimeFromDos(dir / "missing", dosDate(2024, 5, 10), 0));
}

TEST(FileStamps, SizeAndDosTimeMatchWithinTwoSeconds) {
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  const uint16_t date = dosDate(2024, 7, 1), time = dosTime(12, 0, 0);
  ASSERT_TRUE(platform::setLastWriteTimeFromDos(path, date, time));
  const auto stored = std::filesystem::last_write_time(path);
  using std::chrono::milliseconds;

  struct Row {
    const char* name;
    milliseconds writtenAfter;
    uint64_t size;
    bool matches;
  };
  for (const Row& row : {
           Row{"the stored time", milliseconds{0}, 1, true},
           Row{"rounded up by an archiver", milliseconds{1900}, 1, true},
           Row{"rounded down by an archiver", milliseconds{-2000}, 1, true},
           Row{"three seconds apart", milliseconds{3000}, 1, false},
           Row{"an hour apart", milliseconds{3600000}, 1, false},
           Row{"another size", milliseconds{0}, 2, false},
       }) {
    SCOPED_TRACE(row.name);
    std::filesystem::last_write_time(path, stored + row.writtenAfter);
    EXPECT_EQ(platform::hasSizeAndDosTime(path, row.size, date, time), row.matches);
  }
  EXPECT_FALSE(platform::hasSizeAndDosTime(dir / "missing", 0, date, time));
  std::filesystem::create_directory(dir / "folder");
  ASSERT_TRUE(platform::setLastWriteTimeFromDos(dir / "folder", date, time));
  EXPECT_FALSE(platform::hasSizeAndDosTime(dir / "folder", 0, date, time));
}

}  // namespace
