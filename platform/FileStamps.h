// A file's last-write time and attributes, set from what an archive stored for it.
#pragma once

#include <cstdint>
#include <filesystem>

namespace platform {

// Sets the last-write time from an MS-DOS date and time taken as local time.
// Returns false (and changes nothing) when the date is invalid or the system refuses.
bool setLastWriteTimeFromDos(const std::filesystem::path& path, uint16_t dosDate, uint16_t dosTime);

// Windows file attribute bits that matter here.
enum FileAttribute : uint32_t {
  ReadOnly = 0x01,
  Hidden = 0x02,
  System = 0x04,
  Directory = 0x10,
  Archive = 0x20,
};

// Applies Windows attributes. On Linux only ReadOnly has a counterpart: it clears every write
// bit; without it the owner may write. Returns false when the system refuses.
bool applyAttributes(const std::filesystem::path& path, uint32_t attributes);

}  // namespace platform
