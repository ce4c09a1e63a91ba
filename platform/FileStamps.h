// A file's last-write time and attributes, set from what an archive stored for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "platform/FileStatus.h"

namespace platform {

// The fields of an MS-DOS date and time, as a wall clock shows them.
struct DosDateTime {
  int year = 1980;  // 1980 to 2107
  int month = 1;    // 1 to 12
  int day = 1;      // 1 to the last day of the month
  int hours = 0;
  int minutes = 0;
  int seconds = 0;  // even: DOS stores seconds halved

  bool operator==(const DosDateTime&) const = default;
};

// The fields of an MS-DOS date and time, or nothing when one is out of range. A day past the
// end of its month is refused too (31 April, 29 February of a common year): rolling it over
// into the next month would give a stamp the archive did not store, which is worse than none.
std::optional<DosDateTime> splitDosDateTime(uint16_t dosDate, uint16_t dosTime);

// The moment (seconds since 1970-01-01 UTC) that an MS-DOS date and time name, taken as local
// time with the daylight saving time in force on that date; nothing when the date is invalid.
std::optional<int64_t> momentFromDos(uint16_t dosDate, uint16_t dosTime);

// Sets the last-write time from an MS-DOS date and time taken as local time, with the
// daylight saving time in force on that date. Returns false (and changes nothing) when the
// date is invalid or the system refuses.
bool setLastWriteTimeFromDos(const std::filesystem::path& path, uint16_t dosDate, uint16_t dosTime);

// Whether a regular file is at path with this size and a last-write time within two seconds of
// the MS-DOS date and time, taken as setLastWriteTimeFromDos takes it: DOS times count even
// seconds, and archivers round to them either way. One query of the file system.
bool hasSizeAndDosTime(const std::filesystem::path& path, uint64_t size, uint16_t dosDate,
                       uint16_t dosTime);
// The same of a status already taken (Directory::status, HeldFile::status): no query at all.
bool hasSizeAndDosTime(const FileStatus& status, uint64_t size, uint16_t dosDate, uint16_t dosTime);

// Windows file attribute bits that matter here.
enum FileAttribute : uint32_t {
  ReadOnly = 0x01,
  Hidden = 0x02,
  System = 0x04,
  DirectoryAttribute = 0x10,  // not "Directory": that is the folder handle (Directory.h)
  Archive = 0x20,
};

// Applies the read-only, hidden, system and archive attributes; the others (DirectoryAttribute) are
// what the file is, not settings. On Windows the four become the file's attributes exactly.
// On Linux only ReadOnly has a counterpart: it clears every write bit; without it the owner
// may write. Returns false when the system refuses.
bool applyAttributes(const std::filesystem::path& path, uint32_t attributes);

}  // namespace platform
