// Small Windows executables made in memory, with a version resource and, on request, one
// chosen kind of damage. The file holds headers and one ".rsrc" section only: enough for
// anything that reads the version resource, nothing that could run.
//
// Plain C++ without a test framework, so that tools (make-versioned-exe) can use it too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace testsupport {

// The four 16-bit parts of a version: {2, 4, 1, 7} is 2.4.1.7.
using VersionQuad = std::array<uint16_t, 4>;

enum class PeFormat { Pe32, Pe32Plus };

// One kind of damage each, put where a careless reader would go wrong.
enum class PeDamage {
  None,
  WrongPeSignature,         // "PX\0\0" where "PE\0\0" belongs
  WrongOptionalMagic,       // neither PE32 nor PE32+
  PeOffsetHuge,             // e_lfanew near 4 GiB: offset arithmetic must not wrap
  SectionRawPointerHuge,    // the section's file offset lies far past the end of the file
  NoResourceDirectory,      // data directory entry 2 is empty
  NoVersionResource,        // other resource types, but no RT_VERSION
  TooManyEntries,           // the root claims 65535 id entries
  SubdirectoryOffsetHuge,   // the RT_VERSION entry points 2 GiB past the resource directory
  ResourceLoopToRoot,       // the name level points back at the root directory
  ResourceSelfLoop,         // the language level points at itself
  DataRvaOutOfRange,        // the version data lies outside every section
  DataSizeOutOfRange,       // the version data runs past the end of its section
  DataSizeHuge,             // the version data claims almost 4 GiB
  WrongKey,                 // the block's key is not "VS_VERSION_INFO"
  BlockLengthTooSmall,      // the block ends before its fixed file information
  ValueLengthTooSmall,      // the value is shorter than a VS_FIXEDFILEINFO
  WrongFixedInfoSignature,  // the fixed file information lacks 0xFEEF04BD
};

struct PeOptions {
  PeFormat format = PeFormat::Pe32;
  VersionQuad fileVersion{1, 0, 0, 0};
  VersionQuad productVersion{1, 0, 0, 0};
  PeDamage damage = PeDamage::None;
  // Cut the file after this many bytes (no effect when it is not shorter).
  std::optional<size_t> truncateAt;
};

// File offsets of what the builder wrote, for tests that cut the file at a chosen place.
struct PeLayout {
  size_t peHeader = 0;
  size_t optionalHeader = 0;
  size_t sectionTable = 0;
  size_t resourceSection = 0;
  size_t versionBlock = 0;
  size_t fixedInfo = 0;
  size_t versionBlockEnd = 0;
};

struct PeFixture {
  std::vector<uint8_t> bytes;
  PeLayout layout;
};

PeFixture buildPeFixture(const PeOptions& options = {});

// "a.b.c.d" with every part a decimal number from 0 to 65535; nothing for anything else.
std::optional<VersionQuad> parseVersionQuad(std::string_view text);

// Writes the bytes to path, replacing a file there. Throws std::runtime_error on failure.
void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

}  // namespace testsupport
