// What POSIX does with file stamps: the access time, the write bits.
#include "platform/FileStamps.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <string>
#include <utility>

#include "tests/platform/CentralEuropeanTime.h"
#include "tests/platform/DosStamp.h"
#include "tests/platform/TempDir.h"

namespace {

using platformtest::TempDir;
using platformtest::writeFile;

using platformtest::dosDate;
using platformtest::dosTime;

struct stat statOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st;
}

void setTimes(const std::filesystem::path& path, time_t access, time_t modification) {
  const timespec times[2] = {{access, 0}, {modification, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileStamps, SettingTheLastWriteTimeKeepsTheAccessTime) {
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  setTimes(path, 1000000000, 1000000000);
  ASSERT_TRUE(platform::setLastWriteTimeFromDos(path, dosDate(2024, 7, 1), dosTime(12, 0, 0)));
  const auto st = statOf(path);
  EXPECT_NE(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

// On the days the clock changes, a DOS time is the moment mktime gives for it. A time in the hour
// the clock skips or shows twice is read in winter time: the hour before the change in spring,
// the second showing in autumn (mktime's own choice there depends on its earlier calls).
TEST(FileStamps, DosTimeOnTheDaysTheClockChangesIsMktimes) {
  platformtest::CentralEuropeanTime zone;
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  for (const auto& [month, day] : {std::pair{3, 31}, std::pair{10, 27}}) {
    for (int minutes = 0; minutes <= 4 * 60; minutes += 15) {
      for (const int seconds : {0, 58}) {
        SCOPED_TRACE(std::to_string(month) + "/" + std::to_string(day) + " minute " +
                     std::to_string(minutes) + " second " + std::to_string(seconds));
        std::tm local{};
        local.tm_year = 2024 - 1900;
        local.tm_mon = month - 1;
        local.tm_mday = day;
        local.tm_hour = minutes / 60;
        local.tm_min = minutes % 60;
        local.tm_sec = seconds;
        local.tm_isdst = local.tm_hour == 2 ? 0 : -1;
        const time_t expected = std::mktime(&local);
        ASSERT_TRUE(platform::setLastWriteTimeFromDos(
            path, dosDate(2024, month, day), dosTime(minutes / 60, minutes % 60, seconds)));
        EXPECT_EQ(statOf(path).st_mtim.tv_sec, expected);
      }
    }
  }
}

TEST(FileStamps, ApplyAttributesMapsReadOnlyToTheWriteBits) {
  TempDir dir;
  const auto path = dir / "file.exe";
  writeFile(path, "x");

  struct Row {
    const char* name;
    mode_t before;
    uint32_t attributes;
    mode_t after;
  };
  using namespace platform;
  for (const Row& row : {
           Row{"read-only clears every write bit", 0666, ReadOnly, 0444},
           Row{"read-only keeps execute bits", 0775, ReadOnly | Archive, 0555},
           Row{"no read-only gives the owner write back", 0444, 0, 0644},
           Row{"archive alone is writable", 0555, Archive, 0755},
           Row{"hidden and system have no counterpart", 0640, Hidden | System, 0640},
       }) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(::chmod(path.c_str(), row.before), 0);
    EXPECT_TRUE(applyAttributes(path, row.attributes));
    EXPECT_EQ(statOf(path).st_mode & 07777, row.after);
  }

  const auto sub = dir / "sub";
  std::filesystem::create_directory(sub);
  ASSERT_EQ(::chmod(sub.c_str(), 0755), 0);
  EXPECT_TRUE(applyAttributes(sub, DirectoryAttribute | ReadOnly));
  EXPECT_EQ(statOf(sub).st_mode & 07777, 0555u);
  EXPECT_FALSE(applyAttributes(dir / "missing", 0));
}

}  // namespace
