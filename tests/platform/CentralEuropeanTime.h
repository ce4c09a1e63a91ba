// Central European time (CET, CEST from the last Sunday of March to the last Sunday of
// October) for the tests of local file times, whose expected moments are written in it.
#pragma once

#include <optional>
#include <string>

namespace platformtest {

class CentralEuropeanTime {
public:
  // Where a program may choose its time zone (POSIX: TZ), it does so until the destructor.
  // Windows takes the zone from the system when the process starts (Wine from TZ, which
  // CTest's emulator sets): then this only finds out whether it is Central European.
  CentralEuropeanTime();
  ~CentralEuropeanTime();
  CentralEuropeanTime(const CentralEuropeanTime&) = delete;
  CentralEuropeanTime& operator=(const CentralEuropeanTime&) = delete;

  bool active() const { return active_; }

private:
  std::optional<std::string> previous_;
  bool active_ = false;
};

}  // namespace platformtest
