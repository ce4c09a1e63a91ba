#include "platform/FileStamps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <optional>

namespace platform {
namespace {

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// The moment an MS-DOS date and time name on this machine's clock, or nothing for fields
// out of range. A day past the end of its month is refused too: mktime would quietly roll
// 31 April over into 1 May, and a stamp that the archive did not store is worse than none.
std::optional<time_t> localTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const int year = 1980 + (dosDate >> 9);
  const int month = (dosDate >> 5) & 0x0F;
  const int day = dosDate & 0x1F;
  const int hours = dosTime >> 11;
  const int minutes = (dosTime >> 5) & 0x3F;
  const int seconds = (dosTime & 0x1F) * 2;
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month)) return std::nullopt;
  if (hours > 23 || minutes > 59 || seconds > 58) return std::nullopt;

  std::tm fields{};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hours;
  fields.tm_min = minutes;
  fields.tm_sec = seconds;
  fields.tm_isdst = -1;  // let the zone rules decide, as a wall-clock time on this machine
  const time_t moment = std::mktime(&fields);
  // DOS dates start in 1980, so -1 can only be mktime's failure.
  if (moment == static_cast<time_t>(-1)) return std::nullopt;
  return moment;
}

}  // namespace

bool setLastWriteTimeFromDos(const std::filesystem::path& path, uint16_t dosDate,
                             uint16_t dosTime) {
  const auto moment = localTimeFromDos(dosDate, dosTime);
  if (!moment) return false;
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // keep the access time
  times[1].tv_sec = *moment;
  times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool applyAttributes(const std::filesystem::path& path, uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & ReadOnly) {
    mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (st.st_mode & 07777)) return true;
  return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace platform
