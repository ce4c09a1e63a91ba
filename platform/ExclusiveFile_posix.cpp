#include "platform/ExclusiveFile.h"
#include "platform/PosixFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string>
#include <utility>

namespace platform {
namespace {

[[noreturn]] void throwSystemError(int error, const std::string& what,
                                   const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), what + " \"" + path.string() + "\"");
}

int openRetrying(const std::filesystem::path& path, int flags, mode_t mode = 0) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void closeQuietly(int fd) {
  // On Linux the descriptor is released even when close reports EINTR; never retry it.
  if (fd >= 0) ::close(fd);
}

// Whether we may create a file in directory: write and search permission on it.
bool canCreateIn(const std::filesystem::path& directory) {
  const auto dir = directory.empty() ? std::filesystem::path(".") : directory;
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

ExclusiveFile::ExclusiveFile(const std::filesystem::path& path, Mode mode) : path_(path) {
  int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
  if (mode == Mode::CreateOrTruncate) flags |= O_CREAT;
  const int fd = openRetrying(path, flags, 0666);
  if (fd < 0) throwSystemError(errno, "Cannot open", path);
  if (!tryLock(fd)) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    closeQuietly(fd);
    throwSystemError(error, "Cannot open (in use by another opener)", path);
  }
  // Only now that the file is ours may we empty it: O_TRUNC at open() would have destroyed
  // the content of a file that another opener still holds.
  if (mode == Mode::CreateOrTruncate) {
    int result = -1;
    do {
      result = ::ftruncate(fd, 0);
    } while (result < 0 && errno == EINTR);
    if (result != 0) {
      const int error = errno;
      closeQuietly(fd);
      throwSystemError(error, "Cannot truncate", path);
    }
  }
  native_ = fd;
}

void ExclusiveFile::closeNative(intptr_t native) noexcept {
  closeQuietly(static_cast<int>(native));
}

bool ExclusiveFile::canOpenForWriting(const std::filesystem::path& path) {
  // O_NONBLOCK: a FIFO without a reader must not hang us. No O_TRUNC: asking must not harm.
  const int fd = openRetrying(path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT && canCreateIn(path.parent_path());
  const bool free = tryLock(fd);
  // Closing the descriptor drops the lock with it.
  closeQuietly(fd);
  return free;
}

void ExclusiveFile::write(const void* data, size_t size) {
  if (native_ == kClosed) throwSystemError(EBADF, "Cannot write to closed file", path_);
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(static_cast<int>(native_), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throwSystemError(errno, "Cannot write to", path_);
    }
    bytes += written;
    size -= static_cast<size_t>(written);
    position_ += static_cast<uint64_t>(written);
  }
}

size_t ExclusiveFile::read(void* data, size_t size) {
  if (native_ == kClosed) throwSystemError(EBADF, "Cannot read from closed file", path_);
  for (;;) {
    const ssize_t count = ::read(static_cast<int>(native_), data, size);
    if (count >= 0) {
      position_ += static_cast<uint64_t>(count);
      return static_cast<size_t>(count);
    }
    if (errno != EINTR) throwSystemError(errno, "Cannot read from", path_);
  }
}

size_t ExclusiveFile::readAt(uint64_t offset, void* data, size_t size) {
  if (native_ == kClosed) throwSystemError(EBADF, "Cannot read from closed file", path_);
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
    throwSystemError(EINVAL, "Cannot read from", path_);
  }
  for (;;) {
    const ssize_t count =
        ::pread(static_cast<int>(native_), data, size, static_cast<off_t>(offset));
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) throwSystemError(errno, "Cannot read from", path_);
  }
}

void ExclusiveFile::seek(uint64_t offset) {
  if (native_ == kClosed) throwSystemError(EBADF, "Cannot seek in closed file", path_);
  if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
    throwSystemError(EINVAL, "Cannot seek in", path_);
  }
  if (::lseek(static_cast<int>(native_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    throwSystemError(errno, "Cannot seek in", path_);
  }
  position_ = offset;
}

uint64_t ExclusiveFile::position() const {
  return position_;
}

uint64_t ExclusiveFile::size() const {
  if (native_ == kClosed) throwSystemError(EBADF, "Cannot query closed file", path_);
  struct stat st {};
  if (::fstat(static_cast<int>(native_), &st) != 0) throwSystemError(errno, "Cannot query", path_);
  return static_cast<uint64_t>(st.st_size);
}

void ExclusiveFile::close() {
  if (native_ == kClosed) return;
  const int fd = static_cast<int>(std::exchange(native_, kClosed));
  // A failed close can mean lost writes (NFS reports them here); the caller must hear of it.
  if (::close(fd) != 0 && errno != EINTR) throwSystemError(errno, "Cannot close", path_);
}

}  // namespace platform
