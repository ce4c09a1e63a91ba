// MS-DOS dates and times as a ZIP entry stores them, from their readable fields.
#pragma once

#include <cstdint>

namespace platformtest {

constexpr uint16_t dosDate(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr uint16_t dosTime(int hours, int minutes, int seconds) {
  return static_cast<uint16_t>((hours << 11) | (minutes << 5) | (seconds / 2));
}

}  // namespace platformtest
