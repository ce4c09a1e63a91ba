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
};

class FileAttributesTest : public testing::TestWithParam<AttributeCase> {};

TEST_P(FileAttributesTest, MapsExternalAttributes) {
  const AttributeCase& c = GetParam();
  EXPECT_EQ(zip::attributesFromExternal(c.external, c.host), c.expected);
}

constexpr uint32_t unixMode(uint32_t mode) {
  return mode << 16;
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, FileAttributesTest,
    testing::Values(AttributeCase{"DosReadOnly", ReadOnly, 0, ReadOnly},
                    AttributeCase{"DosDirectory", DirectoryAttribute, 0, DirectoryAttribute},
                    AttributeCase{"DosHiddenArchive", Hidden | Archive, 0, Hidden | Archive},
                    AttributeCase{"DosHighBitsBelowLimit", 0x10000 | Archive, 0, Archive},
                    AttributeCase{"UnixWritableFile", unixMode(0100644), 3, 0},
                    AttributeCase{"UnixReadOnlyFile", unixMode(0100444), 3, ReadOnly},
                    AttributeCase{"UnixDirectory", unixMode(040755), 3, DirectoryAttribute},
                    AttributeCase{"UnixReadOnlyDirectory", unixMode(040555), 3,
                                  ReadOnly | DirectoryAttribute},
                    AttributeCase{"UnixSymlink", unixMode(0120777), 3, System},
                    AttributeCase{"UnixFifo", unixMode(010644), 3, System},
                    AttributeCase{"UnixModeZero", 0, 3, ReadOnly},
                    AttributeCase{"UnixModeFromDosHost", unixMode(0100444) | Archive, 0, ReadOnly},
                    AttributeCase{"UnixPermissionsWithoutType", unixMode(0644), 3, 0}),
    [](const testing::TestParamInfo<AttributeCase>& row) { return row.param.label; });

}  // namespace
