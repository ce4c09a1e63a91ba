// Whether the tests run under CI (CI set in the environment, and not to "0" or "false"), and
// the one way a test gives up for something the machine lacks: on a developer's machine it
// skips, under CI it fails, so that a CI run can never pass without the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace testsupport {

inline bool runningUnderCi() {
  const char* ci = std::getenv("CI");
  if (ci == nullptr) return false;
  const std::string_view value = ci;
  return !value.empty() && value != "0" && value != "false";
}

}  // namespace testsupport

// Skips the test, or fails it under CI, with the message streamed after it; returns from the
// function it stands in (a test body or SetUp()).
//   if (!haveIt) UPDATER_SKIP_OR_FAIL_UNDER_CI() << "needs it";
#define UPDATER_SKIP_OR_FAIL_UNDER_CI()                  \
  if (::testsupport::runningUnderCi())                   \
    GTEST_FAIL() << "under CI this cannot be skipped: "; \
  else                                                   \
    GTEST_SKIP()
