// Inside platform/ only: what the Windows implementations share about files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/FileStatus.h"
#include "platform/Utf8Path.h"

namespace platform {

// 100 ns ticks since 1601, as a FILETIME holds them.
inline int64_t ticksOf(const FILETIME& time) {
  return static_cast<int64_t>(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
}

// What the system says of a file, as a FileStatus.
inline FileStatus fileStatusOf(DWORD attributes, uint64_t size, const FILETIME& lastWrite,
                               uint32_t links) {
  FileStatus status;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    status.kind = FileStatus::Kind::Link;
  } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    status.kind = FileStatus::Kind::Folder;
  } else if (attributes & FILE_ATTRIBUTE_DEVICE) {
    status.kind = FileStatus::Kind::Other;
  } else {
    status.kind = FileStatus::Kind::File;
  }
  status.size = size;
  status.links = links;
  constexpr int64_t ticksFrom1601To1970 = 116444736000000000;
  constexpr int64_t ticksPerSecond = 10'000'000;
  const int64_t sinceUnixEpoch = ticksOf(lastWrite) - ticksFrom1601To1970;
  int64_t seconds = sinceUnixEpoch / ticksPerSecond;
  int64_t rest = sinceUnixEpoch % ticksPerSecond;
  if (rest < 0) {
    --seconds;
    rest += ticksPerSecond;
  }
  status.lastWriteSeconds = seconds;
  status.lastWriteNanoseconds = static_cast<uint32_t>(rest * 100);
  status.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  status.attributes = attributes;
  return status;
}

// The attributes applyAttributes sets: the four settable ones exactly, FILE_ATTRIBUTE_NORMAL
// for none (0 would mean "leave them").
inline DWORD settableAttributes(uint32_t attributes) {
  constexpr uint32_t settable = 0x01 | 0x02 | 0x04 | 0x20;  // read-only, hidden, system, archive
  const DWORD wanted = attributes & settable;
  return wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted;
}

}  // namespace platform
