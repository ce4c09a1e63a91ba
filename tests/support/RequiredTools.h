// Tests that drive outside programs (xvfb-run, xdotool, 7zz, bsdtar, ...) need them on the PATH.
// On a developer's machine a missing one skips the test; under CI (CI set in the environment)
// it fails it, so that a CI run can never pass without its end-to-end tests.
//
//   TEST(Interop, ...) {
//     UPDATER_REQUIRE_TOOLS("7zz", "bsdtar");
//     ...
//   }
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "tests/support/RunningUnderCi.h"

namespace testsupport {

// Whether a program is on the PATH.
inline bool haveTool(const std::string& name) {
  return std::system(("command -v '" + name + "' >/dev/null 2>&1").c_str()) == 0;
}

// The tools of the list that are missing, separated by blanks; empty when all are there.
inline std::string missingTools(std::initializer_list<std::string> tools) {
  std::string missing;
  for (const std::string& tool : tools)
    if (!haveTool(tool)) missing += (missing.empty() ? "" : " ") + tool;
  return missing;
}

}  // namespace testsupport

// Skips the test (fails it under CI) when one of the tools is missing. Use it in a test body or
// in SetUp(); it returns from the function it stands in.
#define UPDATER_REQUIRE_TOOLS(...)                                                        \
  if (const std::string updaterMissingTools = ::testsupport::missingTools({__VA_ARGS__}); \
      updaterMissingTools.empty()) {                                                      \
  } else                                                                                  \
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << "needs " << updaterMissingTools
