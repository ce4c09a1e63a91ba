#include "platform/FileStamps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace platform {
namespace {

// The moment a DOS date and time name on this machine's clock, or nothing.
std::optional<time_t> localTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const auto fields = splitDosDateTime(dosDate, dosTime);
  if (!fields) return std::nullopt;
  std::tm local{};
  local.tm_year = fields->year - 1900;
  local.tm_mon = fields->month - 1;
  local.tm_mday = fields->day;
  local.tm_hour = fields->hours;
  local.tm_min = fields->minutes;
  local.tm_sec = fields->seconds;
  local.tm_isdst = -1;  // let the zone rules decide, as a wall-clock time on this machine
  const time_t moment = std::mktime(&local);
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

bool hasSizeAndDosTime(const std::filesystem::path& path, uint64_t size, uint16_t dosDate,
                       uint16_t dosTime) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_size) != size) return false;
  const auto moment = localTimeFromDos(dosDate, dosTime);
  if (!moment) return false;
  // Whole seconds first, so that the nanoseconds below cannot overflow; then the fraction
  // decides, as for a file written at 12:00:02.5 against 12:00:00.
  const int64_t seconds = int64_t{st.st_mtim.tv_sec} - int64_t{*moment};
  if (seconds < -3 || seconds > 3) return false;
  const int64_t apart = seconds * 1'000'000'000 + st.st_mtim.tv_nsec;
  return apart >= -2'000'000'000 && apart <= 2'000'000'000;
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
