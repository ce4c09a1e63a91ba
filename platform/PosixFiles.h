// Inside platform/ only: what the POSIX implementations share about files.
#pragma once

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/FileStamps.h"
#include "platform/FileStatus.h"

namespace platform {

// What stat() says, as a FileStatus.
inline FileStatus fileStatusOf(const struct stat& st) {
  FileStatus status;
  if (S_ISREG(st.st_mode)) {
    status.kind = FileStatus::Kind::File;
  } else if (S_ISDIR(st.st_mode)) {
    status.kind = FileStatus::Kind::Folder;
  } else if (S_ISLNK(st.st_mode)) {
    status.kind = FileStatus::Kind::Link;
  } else {
    status.kind = FileStatus::Kind::Other;
  }
  status.size = static_cast<uint64_t>(st.st_size);
  status.links = static_cast<uint32_t>(st.st_nlink);
  status.lastWriteSeconds = st.st_mtim.tv_sec;
  status.lastWriteNanoseconds = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  status.permissions = st.st_mode & 07777;
  status.readOnly = (st.st_mode & S_IWUSR) == 0;
  return status;
}

// The permission bits that applyAttributes gives a file of this mode: no write bit at all for
// a read-only one, the owner's write bit otherwise; nothing else changes.
inline mode_t modeWithAttributes(mode_t mode, uint32_t attributes) {
  mode &= 07777;
  if (attributes & ReadOnly) return mode & static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  return mode | S_IWUSR;
}

// Takes the exclusive lock that every opener of this program takes, without waiting: an
// opener that holds it keeps the file to itself.
inline bool tryLock(int fd) {
  int result = -1;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result < 0 && errno == EINTR);
  return result == 0;
}

}  // namespace platform
