// A file opened for reading and writing that no other opener may open at the same time,
// as a Windows file opened without sharing. On Linux every opener in this program takes an
// exclusive lock (flock), so a second opener fails as on Windows.
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

  // Whether a file at path could be opened for writing now: it is not held by another opener
  // of this program and the system grants write access. Takes and drops the lock.
  static bool canOpenForWriting(const std::filesystem::path& path);

  // Write all of data at the current position; throws std::system_error.
  void write(const void* data, size_t size);
  // Read up to size bytes at the current position; returns the count, 0 at the end.
  size_t read(void* data, size_t size);
  void seek(uint64_t offset);
  uint64_t position() const;
  uint64_t size() const;
  void close();
  bool isOpen() const { return fd_ >= 0; }
  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
  int fd_ = -1;
  uint64_t position_ = 0;
};

}  // namespace platform
