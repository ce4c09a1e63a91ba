#include "platform/FileStamps.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "tests/platform/TempDir.h"

namespace {

using platformtest::TempDir;
using platformtest::writeFile;

constexpr uint16_t dosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr uint16_t dosTime(int hours, int minutes, int seconds) {
  return static_cast<uint16_t>((hours << 11) | (minutes << 5) | (seconds / 2));
}

// Runs the test body in a chosen time zone and puts the previous one back afterwards.
class ScopedTimeZone {
public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

private:
  std::optional<std::string> previous_;
};

struct stat statOf(const std::filesystem::path& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st;
}

void setTimes(const std::filesystem::path& path, time_t access, time_t modification) {
  const timespec times[2] = {{access, 0}, {modification, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileStamps, DosTimeIsLocalTimeWithTheDaylightSavingOfItsDate) {
  ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  setTimes(path, 1000000000, 1000000000);

  struct Row {
    const char* name;
    uint16_t date, time;
    time_t expected;
  };
  for (const Row& row : {
           Row{"winter, UTC+1", dosDate(2024, 1, 15), dosTime(12, 0, 0), 1705316400},
           Row{"summer, UTC+2", dosDate(2024, 7, 1), dosTime(12, 0, 0), 1719828000},
           Row{"odd seconds are stored halved", dosDate(2024, 3, 15), dosTime(13, 45, 31),
               1710506730},
           Row{"earliest DOS date", dosDate(1980, 1, 1), dosTime(0, 0, 0), 315529200},
           Row{"leap day", dosDate(2024, 2, 29), dosTime(23, 59, 58), 1709247598},
       }) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(platform::setLastWriteTimeFromDos(path, row.date, row.time));
    const auto st = statOf(path);
    EXPECT_EQ(st.st_mtim.tv_sec, row.expected);
    EXPECT_EQ(st.st_mtim.tv_nsec, 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);  // the access time stays
  }
}

TEST(FileStamps, InvalidDosDateOrTimeChangesNothing) {
  TempDir dir;
  const auto path = dir / "file.dll";
  writeFile(path, "x");
  setTimes(path, 1000000000, 1000000000);

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
    EXPECT_FALSE(platform::setLastWriteTimeFromDos(path, row.date, row.time));
    EXPECT_EQ(statOf(path).st_mtim.tv_sec, 1000000000);
  }
  EXPECT_FALSE(platform::setLastWriteTimeFromDos(dir / "missing", dosDate(2024, 5, 10), 0));
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
  EXPECT_TRUE(applyAttributes(sub, Directory | ReadOnly));
  EXPECT_EQ(statOf(sub).st_mode & 07777, 0555u);
  EXPECT_FALSE(applyAttributes(dir / "missing", 0));
}

}  // namespace
