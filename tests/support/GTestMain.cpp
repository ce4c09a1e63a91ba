// main() for GoogleTest programs: every test, and the skipped ones named at the end.
#include <gtest/gtest.h>

#include "tests/support/SkippedTests.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return testsupport::reportSkippedTests(RUN_ALL_TESTS());
}
