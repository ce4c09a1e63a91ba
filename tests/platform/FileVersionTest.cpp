#include "platform/FileVersion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "tests/platform/TempDir.h"
#include "tests/support/PeFixture.h"

namespace {

using testsupport::buildPeFixture;
using testsupport::PeDamage;
using testsupport::PeFormat;
using testsupport::PeOptions;

std::optional<std::string> versionText(const std::optional<platform::FixedFileVersion>& v) {
  if (!v) return std::nullopt;
  return platform::formatFileVersion(*v);
}

PeOptions sound(PeFormat format, testsupport::VersionQuad file, testsupport::VersionQuad product) {
  PeOptions options;
  options.format = format;
  options.fileVersion = file;
  options.productVersion = product;
  return options;
}

PeOptions damaged(PeDamage damage, PeFormat format = PeFormat::Pe32) {
  PeOptions options = sound(format, {2, 4, 1, 7}, {2, 4, 1, 7});
  options.damage = damage;
  return options;
}

struct FixtureCase {
  const char* name;
  PeOptions options;
  std::optional<std::string> version;
};

class FileVersionFixtureTest : public testing::TestWithParam<FixtureCase> {};

TEST_P(FileVersionFixtureTest, ReadsTheFileVersionOrNothing) {
  const auto& row = GetParam();
  const auto fixture = buildPeFixture(row.options);
  platformtest::TempDir dir;
  const auto path = dir / "Quendral.exe";
  testsupport::writeFileBytes(path, fixture.bytes);

  EXPECT_EQ(versionText(platform::readFixedFileVersion(path)), row.version);
  EXPECT_EQ(versionText(platform::parseFixedFileVersion(fixture.bytes)), row.version);
}

INSTANTIATE_TEST_SUITE_P(
    FileVersion, FileVersionFixtureTest,
    testing::Values(
        FixtureCase{"Pe32", sound(PeFormat::Pe32, {2, 4, 1, 7}, {2, 4, 1, 7}), "2.4.1.7"},
        FixtureCase{"Pe32Plus", sound(PeFormat::Pe32Plus, {2, 4, 1, 6}, {2, 4, 1, 6}), "2.4.1.6"},
        FixtureCase{"ZeroPartsAreWritten", sound(PeFormat::Pe32, {2, 0, 0, 0}, {2, 0, 0, 0}),
                    "2.0.0.0"},
        FixtureCase{"FileVersionNotProductVersion",
                    sound(PeFormat::Pe32Plus, {2, 4, 1, 7}, {9, 8, 7, 6}), "2.4.1.7"},
        FixtureCase{"WholeSixteenBitParts",
                    sound(PeFormat::Pe32, {65535, 10, 0, 100}, {1, 0, 0, 0}), "65535.10.0.100"},
        FixtureCase{"WrongPeSignature", damaged(PeDamage::WrongPeSignature), std::nullopt},
        FixtureCase{"WrongOptionalMagic", damaged(PeDamage::WrongOptionalMagic), std::nullopt},
        FixtureCase{"PeOffsetHuge", damaged(PeDamage::PeOffsetHuge), std::nullopt},
        FixtureCase{"SectionRawPointerHuge", damaged(PeDamage::SectionRawPointerHuge),
                    std::nullopt},
        FixtureCase{"NoResourceDirectory", damaged(PeDamage::NoResourceDirectory), std::nullopt},
        FixtureCase{"NoVersionResource", damaged(PeDamage::NoVersionResource), std::nullopt},
        FixtureCase{"TooManyEntries", damaged(PeDamage::TooManyEntries), std::nullopt},
        FixtureCase{"SubdirectoryOffsetHuge", damaged(PeDamage::SubdirectoryOffsetHuge),
                    std::nullopt},
        FixtureCase{"ResourceLoopToRoot", damaged(PeDamage::ResourceLoopToRoot), std::nullopt},
        FixtureCase{"ResourceSelfLoop", damaged(PeDamage::ResourceSelfLoop, PeFormat::Pe32Plus),
                    std::nullopt},
        FixtureCase{"DataRvaOutOfRange", damaged(PeDamage::DataRvaOutOfRange), std::nullopt},
        FixtureCase{"DataSizeOutOfRange", damaged(PeDamage::DataSizeOutOfRange), std::nullopt},
        FixtureCase{"DataSizeHuge", damaged(PeDamage::DataSizeHuge), std::nullopt},
        FixtureCase{"WrongKey", damaged(PeDamage::WrongKey), std::nullopt},
        FixtureCase{"BlockLengthTooSmall", damaged(PeDamage::BlockLengthTooSmall), std::nullopt},
        FixtureCase{"ValueLengthTooSmall", damaged(PeDamage::ValueLengthTooSmall), std::nullopt},
        FixtureCase{"WrongFixedInfoSignature", damaged(PeDamage::WrongFixedInfoSignature),
                    std::nullopt}),
    [](const testing::TestParamInfo<FixtureCase>& row) { return std::string(row.param.name); });

TEST(FileVersion, FilesThatAreNoExecutableGiveNothing) {
  platformtest::TempDir dir;
  platformtest::writeFile(dir / "empty.exe", "");
  platformtest::writeFile(dir / "text.exe", "Quendral 2.4.1.7\r\nnot an executable\r\n");
  platformtest::writeFile(dir / "mz.exe", "MZ");
  for (const char* name : {"missing.exe", "empty.exe", "text.exe", "mz.exe", "."}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform::readFixedFileVersion(dir / name), std::nullopt);
  }
}

TEST(FileVersion, TruncatedAnywhereBeforeTheEndOfTheVersionGivesNothing) {
  for (PeFormat format : {PeFormat::Pe32, PeFormat::Pe32Plus}) {
    const auto whole = buildPeFixture(sound(format, {2, 4, 1, 7}, {2, 4, 1, 7}));
    const size_t end = whole.layout.versionBlockEnd;
    for (size_t length = 0; length < end; ++length) {
      const std::span<const uint8_t> cut(whole.bytes.data(), length);
      ASSERT_EQ(platform::parseFixedFileVersion(cut), std::nullopt) << "cut at " << length;
    }
    // The padding after the last resource is not needed.
    EXPECT_EQ(versionText(platform::parseFixedFileVersion({whole.bytes.data(), end})), "2.4.1.7");
  }
}

TEST(FileVersion, TruncatedFilesOnDiskGiveNothing) {
  const auto layout = buildPeFixture().layout;
  platformtest::TempDir dir;
  const auto path = dir / "Quendral.exe";
  for (size_t cut :
       {size_t{63}, layout.peHeader + 10, layout.optionalHeader + 100, layout.sectionTable + 20,
        layout.resourceSection + 30, layout.fixedInfo + 10, layout.versionBlockEnd - 1}) {
    SCOPED_TRACE(cut);
    PeOptions options;
    options.truncateAt = cut;
    testsupport::writeFileBytes(path, buildPeFixture(options).bytes);
    EXPECT_EQ(platform::readFixedFileVersion(path), std::nullopt);
  }
}

// Every header, directory and version byte flipped in turn: whatever the reader makes of
// it, it must stay within the buffer (the sanitizers watch) and not hang.
TEST(FileVersion, EverySingleByteCorruptionIsReadSafely) {
  for (PeFormat format : {PeFormat::Pe32, PeFormat::Pe32Plus}) {
    const auto whole = buildPeFixture(sound(format, {2, 4, 1, 7}, {2, 4, 1, 7}));
    for (size_t at = 0; at < whole.layout.versionBlockEnd; ++at) {
      for (uint8_t flip : {uint8_t{0xFF}, uint8_t{0x80}}) {
        auto bytes = whole.bytes;
        bytes[at] ^= flip;
        (void)platform::parseFixedFileVersion(bytes);
      }
    }
  }
}

TEST(FileVersion, FormatWritesEachPartInDecimalWithoutLeadingZeros) {
  struct Row {
    platform::FixedFileVersion version;
    const char* text;
  };
  for (const Row& row :
       {Row{{0x00020000, 0x00000000}, "2.0.0.0"}, Row{{0x00020004, 0x00010007}, "2.4.1.7"},
        Row{{0xFFFFFFFF, 0x000A0064}, "65535.65535.10.100"}, Row{{0, 0}, "0.0.0.0"}}) {
    EXPECT_EQ(platform::formatFileVersion(row.version), row.text);
  }
}

}  // namespace
