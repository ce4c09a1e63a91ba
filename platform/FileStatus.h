// What stands at a name in a folder, seen without following a symbolic link.
#pragma once

#include <cstdint>

namespace platform {

struct FileStatus {
  enum class Kind {
    Missing,
    File,    // a regular file
    Folder,  // a folder that is not a link
    Link,    // a symbolic link (on Windows any reparse point), whatever it leads to
    Other,   // a device, pipe or socket
  };
  Kind kind = Kind::Missing;
  uint64_t size = 0;
  // How many names the file has (hard links). Where the system cannot say without opening the
  // file (Windows, from a folder), 1; the status of an opened file says.
  uint32_t links = 1;
  // The last-write time, since 1970-01-01 UTC.
  int64_t lastWriteSeconds = 0;
  uint32_t lastWriteNanoseconds = 0;
  // POSIX: the mode's permission bits with set-user-ID, set-group-ID and sticky (07777).
  // Windows: 0.
  uint32_t permissions = 0;
  // Read-only: on Windows the attribute, on POSIX no owner-write bit.
  bool readOnly = false;
  // Windows: the file's attributes (FILE_ATTRIBUTE_*). POSIX: 0.
  uint32_t attributes = 0;
};

}  // namespace platform
