// What a test program says about the tests it skipped, at its end. Where one program is one
// CTest test (under Wine), a skip inside it would otherwise pass unseen; under CI it fails the
// program.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/RunningUnderCi.h"

namespace testsupport {

// Lists the skipped tests of the run just ended; returns result, or 1 when tests were skipped
// under CI.
inline int reportSkippedTests(int result) {
  const testing::UnitTest& run = *testing::UnitTest::GetInstance();
  if (run.skipped_test_count() == 0) return result;
  for (int s = 0; s < run.total_test_suite_count(); ++s) {
    const testing::TestSuite& suite = *run.GetTestSuite(s);
    for (int t = 0; t < suite.total_test_count(); ++t) {
      const testing::TestInfo& test = *suite.GetTestInfo(t);
      if (test.result()->Skipped()) std::printf("SKIPPED %s.%s\n", suite.name(), test.name());
    }
  }
  if (!runningUnderCi()) return result;
  std::printf("%d tests skipped under CI, where none may be\n", run.skipped_test_count());
  return 1;
}

}  // namespace testsupport
