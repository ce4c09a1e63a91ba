#include "tests/platform/CentralEuropeanTime.h"

#include <windows.h>

namespace platformtest {

CentralEuropeanTime::CentralEuropeanTime() {
  TIME_ZONE_INFORMATION zone{};
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return;
  // UTC+1, one hour more in summer, from the last Sunday (day 5) of March to that of October.
  active_ = zone.Bias == -60 && zone.DaylightBias == -60 && zone.DaylightDate.wMonth == 3 &&
            zone.DaylightDate.wDay == 5 && zone.StandardDate.wMonth == 10 &&
            zone.StandardDate.wDay == 5;
}

CentralEuropeanTime::~CentralEuropeanTime() = default;

}  // namespace platformtest
