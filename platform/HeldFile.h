// A file that carries a lock for as long as this program holds it, so that anyone can tell a
// file being written now from one a killed process left behind (no one holds that one), and
// remove only the latter; and so that no other opener of this program writes a file while we
// compare it or set its time. The lock is the one every opener of this program meets: flock on
// POSIX systems, as ExclusiveFile takes; on Windows a share mode.
//
// A held file comes from a folder (platform::Directory::createHeldFile for a new one,
// openHeldFile for an existing one), or, for a new one, from a path (createNew). Everything
// done to it after that goes through its handle, never through its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

#include "platform/FileStatus.h"

namespace platform {

class Directory;

class HeldFile {
public:
  // Creates the file at path, failing when something exists there; throws std::system_error
  // with the system's description (std::errc::file_exists when the name is taken). Where the
  // system allows it, the file is locked before it appears in its folder, so no one ever sees
  // it unheld. The same as Directory::open(path's folder).createHeldFile(path's name).
  static HeldFile createNew(const std::filesystem::path& path);

  HeldFile(HeldFile&& other) noexcept;
  HeldFile& operator=(HeldFile&& other) noexcept;
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  ~HeldFile();  // lets go of the lock

  // Appends all of data through the held handle itself, unbuffered: callers write large
  // blocks. Throws std::system_error when the system refuses (a full disk, say). The lock lasts
  // until release() or the end of the HeldFile, also across a rename of the file.
  void write(std::span<const std::byte> data);
  // Reads up to data.size() bytes at the current position; returns the count, 0 at the end.
  // Throws std::system_error.
  size_t read(std::span<std::byte> data);
  void release();

  // Makes what was written through the handle survive a power loss (fsync, FlushFileBuffers)
  // before this returns. False when the system refused.
  bool flushToDisk();
  // The same where the system flushes file by file (Windows); nothing where one call flushes a
  // whole file system cheaper (Linux: Directory::syncFileSystem, once, after all the files).
  bool flushIfFileByFile();

  // The file's own status (what it is, whatever its name leads to now). Throws
  // std::system_error.
  FileStatus status() const;

  // For a file that will replace nothing: adds these execute bits (an archive's Unix entry may
  // carry them) where reading is allowed, so the umask keeps its word. A file that replaces
  // another takes that one's permission bits from platform::replaceFile instead. Nothing to do
  // on Windows. Best effort: false when the system refused.
  bool addExecuteBits(uint32_t executeBits);

  // As platform::setLastWriteTimeFromDos and platform::applyAttributes (FileStamps.h), through
  // the handle: a file with other names (hard links) changes under all of them, and nothing
  // reached through a link changes. False when the system refused or the date is invalid.
  bool setLastWriteTimeFromDos(uint16_t dosDate, uint16_t dosTime);
  bool applyAttributes(uint32_t attributes);

private:
  friend class Directory;
  friend void replaceFile(const Directory&, HeldFile&, const std::string&, const std::string&,
                          const FileStatus&, uint32_t);
  explicit HeldFile(std::intptr_t handle) : handle_(handle) {}
  int descriptor() const;  // POSIX
  // The system's handle of the open file: a descriptor on POSIX, a HANDLE on Windows; -1 when
  // released.
  std::intptr_t handle_ = -1;
};

}  // namespace platform
