#include "platform/HeldFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace platform {
namespace {

[[noreturn]] void fail(const std::filesystem::path& path) {
  const int error = errno;
  throw std::system_error(error, std::generic_category(), "cannot create " + path.string());
}

// Linux: an unnamed file in the directory, locked, then given its name: it is never seen
// unlocked. Returns -1 when the file system cannot do that.
int createLockedUnnamed(const std::filesystem::path& path) {
#ifdef O_TMPFILE
  const int fd = ::open(path.parent_path().c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::flock(fd, LOCK_EX) != 0 ||
      ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return error == EEXIST ? -2 : -1;
  }
  return fd;
#else
  (void)path;
  return -1;
#endif
}

}  // namespace

HeldFile HeldFile::createNew(const std::filesystem::path& path) {
  int fd = createLockedUnnamed(path);
  if (fd == -2) fail(path);
  if (fd < 0) {
    // Elsewhere the lock follows the creation; a cleaner that came in between would find an
    // empty file and remove it, and this writer's rename would then fail its entry.
    fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) fail(path);
    if (::flock(fd, LOCK_EX) != 0) {
      const int error = errno;
      ::close(fd);
      ::unlink(path.c_str());
      errno = error;
      fail(path);
    }
  }
  return HeldFile(fd);
}

int HeldFile::descriptor() const {
  return static_cast<int>(handle_);
}

void HeldFile::write(std::span<const std::byte> data) {
  while (!data.empty()) {
    const ssize_t written = ::write(descriptor(), data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "cannot write");
    }
    data = data.subspan(static_cast<size_t>(written));
  }
}

void HeldFile::release() {
  if (handle_ >= 0) ::close(descriptor());
  handle_ = -1;
}

bool HeldFile::addExecuteBits(uint32_t executeBits) {
  struct stat created {};
  if (handle_ < 0 || ::fstat(descriptor(), &created) != 0) return false;
  const mode_t readable = (created.st_mode & 0444) >> 2;
  const mode_t mode = (created.st_mode & 07777) | (executeBits & 0111 & readable);
  return mode == (created.st_mode & 07777) || ::fchmod(descriptor(), mode) == 0;
}

bool removeIfUnheld(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  bool removed = false;
  struct stat opened {
  }, named{};
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 &&
      ::lstat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
      opened.st_dev == named.st_dev && S_ISREG(named.st_mode)) {
    removed = ::unlink(path.c_str()) == 0;
  }
  ::close(fd);
  return removed;
}

}  // namespace platform
