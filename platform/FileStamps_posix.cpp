#include "platform/FileStamps.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>

#include "platform/PosixFiles.h"

namespace platform {
namespace {

// The offset from UTC, in seconds, of this machine's clock at the moment.
long utcOffsetAt(time_t moment) {
  std::tm local{};
  if (localtime_r(&moment, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

// Not mktime: that checks the zone file again on every call, a system call per extracted file,
// where localtime_r reads it once.
std::optional<int64_t> momentFromDos(uint16_t dosDate, uint16_t dosTime) {
  using namespace std::chrono;
  const auto fields = splitDosDateTime(dosDate, dosTime);
  if (!fields) return std::nullopt;
  const sys_days day{year{fields->year} / fields->month / fields->day};
  // The wall-clock time read as if it were UTC, then moved by the offset in force: first the
  // offset near it, then the offset at the moment so found, which settles a date on which the
  // clock changes (a time the change skips comes out an hour later, as the clock shows it).
  const time_t wall = system_clock::to_time_t(day + hours{fields->hours} +
                                              minutes{fields->minutes} + seconds{fields->seconds});
  const time_t guess = wall - utcOffsetAt(wall);
  return wall - utcOffsetAt(guess);
}

bool setLastWriteTimeFromDos(const std::filesystem::path& path, uint16_t dosDate,
                             uint16_t dosTime) {
  const auto moment = momentFromDos(dosDate, dosTime);
  if (!moment) return false;
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // keep the access time
  times[1].tv_sec = static_cast<time_t>(*moment);
  times[1].tv_nsec = 0;
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool hasSizeAndDosTime(const std::filesystem::path& path, uint64_t size, uint16_t dosDate,
                       uint16_t dosTime) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 &&
         hasSizeAndDosTime(fileStatusOf(st), size, dosDate, dosTime);
}

bool applyAttributes(const std::filesystem::path& path, uint32_t attributes) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  const mode_t mode = modeWithAttributes(st.st_mode, attributes);
  if (mode == (st.st_mode & 07777)) return true;
  return ::chmod(path.c_str(), mode) == 0;
}

}  // namespace platform
