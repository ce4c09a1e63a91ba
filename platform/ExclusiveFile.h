// A file opened for reading and writing that no other opener may open at the same time.
// On Windows it is opened without sharing (share mode 0), so any second opener, of this
// program or another, fails with a sharing violation. On Linux every opener in this program
// takes an exclusive lock (flock), so a second opener of ours fails as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace platform {

class ExclusiveFile {
public:
  enum class Mode {
    CreateOrTruncate,  // create a missing file, empty an existing one (only once it is ours)
    OpenExisting,      // open an existing file as it is
  };

  // Throws std::system_error (with the system's description) when the file cannot be opened
  // or another opener holds it; in that case an existing file is left untouched.
  ExclusiveFile(const std::filesystem::path& path, Mode mode);
  ~ExclusiveFile();
  ExclusiveFile(const ExclusiveFile&) = delete;
  ExclusiveFile& operator=(const ExclusiveFile&) = delete;
  ExclusiveFile(ExclusiveFile&& other) noexcept;
  ExclusiveFile& operator=(ExclusiveFile&& other) noexcept;

  // Whether a file at path could be opened for writing now, and replaced: a missing file in an
  // existing directory, or a file that is not held by another opener and to which the system
  // grants write access. Opens nothing for long and changes nothing.
  // On Linux an opener is one of this program's (its lock), and a running program is refused
  // (ETXTBSY). On Windows delete access is asked too, which the rename over the file needs: a
  // file that another program holds open without delete sharing, or a running program, is
  // refused.
  static bool canOpenForWriting(const std::filesystem::path& path);

  // Write all of data at the current position; throws std::system_error.
  void write(const void* data, size_t size);
  // Read up to size bytes at the current position; returns the count, 0 at the end.
  size_t read(void* data, size_t size);
  // Read up to size bytes at offset in one system call (pread; ReadFile at an offset); returns
  // the count, 0 at the end. Afterwards the current position is unspecified: seek before the
  // next read or write.
  size_t readAt(uint64_t offset, void* data, size_t size);
  void seek(uint64_t offset);
  uint64_t position() const;
  uint64_t size() const;
  void close();
  bool isOpen() const { return native_ != kClosed; }
  const std::filesystem::path& path() const { return path_; }

private:
  // A file descriptor on POSIX, a HANDLE on Windows, where INVALID_HANDLE_VALUE is -1 too.
  static constexpr intptr_t kClosed = -1;
  // Closes a native handle, ignoring failure; nothing for kClosed. One per system.
  static void closeNative(intptr_t native) noexcept;

  std::filesystem::path path_;
  intptr_t native_ = kClosed;
  uint64_t position_ = 0;
};

}  // namespace platform
