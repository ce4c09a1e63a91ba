#include "zip/FileAttributes.h"

#include <gtest/gtest.h>

#include "platform/FileStamps.h"

namespace {

using namespace platform;

struct AttributeCase {
  const char* label;
  uint32_t external;
  uint8_t host;
  uint32_t expected;
  uint32_t executeBits;  // what a new file gets
};

class FileAttributesTest : public testing::TestWithParam<AttributeCase> {};

TEST_P(FileAttributesTest, MapsExternalAttributes) {
  const AttributeCase& c = GetParam();
  EXPECT_EQ(zip::attributesFromExternal(c.external, c.host), c.expected);
  EXPECT_EQ(zip::executeBitsFromExternal(c.external, c.host), c.executeBits);
}

constexpr uint32_t unixMode(uint32_t mode) {
  return mode << 16;
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, FileAttributesTest,
    testing::Values(AttributeCase{"DosReadOnly", ReadOnly, 0, ReadOnly, 0},
                    AttributeCase{"DosDirectory", DirectoryAttribute, 0, DirectoryAttribute, 0},
                    AttributeCase{"DosHiddenArchive", Hidden | Archive, 0, Hidden | Archive, 0},
                    AttributeCase{"DosHighBitsBelowLimit", 0x10000 | Archive, 0, Archive, 0},
                    AttributeCase{"UnixWritableFile", unixMode(0100644), 3, 0, 0},
                    AttributeCase{"UnixReadOnlyFile", unixMode(0100444), 3, ReadOnly, 0},
                    AttributeCase{"UnixExecutableFile", unixMode(0100755), 3, 0, 0111},
                    AttributeCase{"UnixOwnerOnlyExecutable", unixMode(0100700), 3, 0, 0100},
                    AttributeCase{"UnixSetUserIdKeepsOnlyExecute", unixMode(0104755), 3, 0, 0111},
                    AttributeCase{"UnixDirectory", unixMode(040755), 3, DirectoryAttribute, 0},
                    AttributeCase{"UnixReadOnlyDirectory", unixMode(040555), 3,
                                  ReadOnly | DirectoryAttribute, 0},
                    AttributeCase{"UnixSymlink", unixMode(0120777), 3, System, 0},
                    AttributeCase{"UnixFifo", unixMode(010755), 3, System, 0},
                    AttributeCase{"UnixModeZero", 0, 3, ReadOnly, 0},
                    AttributeCase{"UnixModeFromDosHost", unixMode(0100444) | Archive, 0, ReadOnly,
                                  0},
                    AttributeCase{"ExecutableModeFromDosHost", unixMode(0100755), 0, 0, 0},
                    AttributeCase{"UnixPermissionsWithoutType", unixMode(0644), 3, 0, 0},
                    AttributeCase{"UnixExecutableWithoutType", unixMode(0755), 3, 0, 0111}),
    [](const testing::TestParamInfo<AttributeCase>& row) { return row.param.label; });

}  // namespace
