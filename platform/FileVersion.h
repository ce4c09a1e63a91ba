// The fixed file version of a Windows executable, read from its version resource.
//
// On Windows the system reads it (GetFileVersionInfoW, VerQueryValueW), once our reader has
// found the file sound. Elsewhere, and on any system through readPeFileVersion, our own reader
// reads the PE file itself (PE32 and PE32+:
// resource directory, RT_VERSION, VS_FIXEDFILEINFO). Every offset and size is checked against
// the file: a hostile or truncated file gives no version, never a read out of bounds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace platform {

struct FixedFileVersion {
  uint32_t mostSignificant = 0;   // dwFileVersionMS
  uint32_t leastSignificant = 0;  // dwFileVersionLS
};

// The file version of the executable at path, as the system reports it; nullopt when the file
// is missing, is not a PE file, has no version resource or no fixed file information, or is
// damaged.
std::optional<FixedFileVersion> readFixedFileVersion(const std::filesystem::path& path);

// The same through our own reader, on any system. Reads only the few ranges the headers point
// at, so the size of the file does not matter.
std::optional<FixedFileVersion> readPeFileVersion(const std::filesystem::path& path);

// Our reader for the bytes of an executable already in memory (fixtures, fuzzing).
std::optional<FixedFileVersion> parseFixedFileVersion(std::span<const uint8_t> image);

// "a.b.c.d": the four 16-bit parts in decimal, without leading zeros ("2.0.0.0").
std::string formatFileVersion(const FixedFileVersion& version);

}  // namespace platform
