// main() for GoogleTest programs that need a QApplication (widgets, images, queued calls).
#include <gtest/gtest.h>
#include <QApplication>

#include "tests/support/SkippedTests.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return testsupport::reportSkippedTests(RUN_ALL_TESTS());
}
