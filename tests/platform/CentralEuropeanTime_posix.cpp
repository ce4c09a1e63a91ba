#include "tests/platform/CentralEuropeanTime.h"

#include <cstdlib>
#include <ctime>

namespace platformtest {

CentralEuropeanTime::CentralEuropeanTime() {
  if (const char* old = std::getenv("TZ")) previous_ = old;
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  active_ = true;
}

CentralEuropeanTime::~CentralEuropeanTime() {
  if (previous_) {
    ::setenv("TZ", previous_->c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace platformtest
