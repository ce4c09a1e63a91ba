// Linux tells letter case apart: every name is its own key.
#include <gtest/gtest.h>

#include "platform/FileNameKey.h"

namespace {

TEST(FileNameKeyPosix, EveryNameIsItsOwnKey) {
  for (const char* name : {"A.txt", "a.txt", "Lib/Informes", "lib/informes", "Ñandú.dat", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::fileNameKey(name), name);
  }
}

}  // namespace
