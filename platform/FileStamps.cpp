#include "platform/FileStamps.h"

namespace platform {
namespace {

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<DosDateTime> splitDosDateTime(uint16_t dosDate, uint16_t dosTime) {
  DosDateTime fields;
  fields.year = 1980 + (dosDate >> 9);
  fields.month = (dosDate >> 5) & 0x0F;
  fields.day = dosDate & 0x1F;
  fields.hours = dosTime >> 11;
  fields.minutes = (dosTime >> 5) & 0x3F;
  fields.seconds = (dosTime & 0x1F) * 2;
  if (fields.month < 1 || fields.month > 12) return std::nullopt;
  if (fields.day < 1 || fields.day > daysInMonth(fields.year, fields.month)) return std::nullopt;
  if (fields.hours > 23 || fields.minutes > 59 || fields.seconds > 58) return std::nullopt;
  return fields;
}

bool hasSizeAndDosTime(const FileStatus& status, uint64_t size, uint16_t dosDate,
                       uint16_t dosTime) {
  if (status.kind != FileStatus::Kind::File || status.size != size) return false;
  const auto moment = momentFromDos(dosDate, dosTime);
  if (!moment) return false;
  // Whole seconds first, so that the nanoseconds below cannot overflow; then the fraction
  // decides, as for a file written at 12:00:02.5 against 12:00:00.
  const int64_t seconds = status.lastWriteSeconds - *moment;
  if (seconds < -3 || seconds > 3) return false;
  const int64_t apart = seconds * 1'000'000'000 + status.lastWriteNanoseconds;
  return apart >= -2'000'000'000 && apart <= 2'000'000'000;
}

}  // namespace platform
