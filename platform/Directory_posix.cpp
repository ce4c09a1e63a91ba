#include "platform/Directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/PosixFiles.h"

namespace platform {

struct Directory::State {
  State(int descriptor, std::filesystem::path folderPath)
      : fd(descriptor), path(std::move(folderPath)) {}
  ~State() { ::close(fd); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  const int fd;
  const std::filesystem::path path;
};

namespace {

[[noreturn]] void fail(int error, const std::string& what, const std::filesystem::path& path) {
  throw std::system_error(error, std::generic_category(), what + " " + path.string());
}

int openAtRetrying(int folder, const char* name, int flags, mode_t mode = 0) {
  int fd = -1;
  do {
    fd = ::openat(folder, name, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Linux: an unnamed file in the folder, locked, then given its name: it is never seen
// unlocked. Returns -1 when the file system cannot do that, -2 (errno EEXIST) when the name is
// taken.
int createLockedUnnamed(int folder, const std::string& name) {
#ifdef O_TMPFILE
  const int fd = openAtRetrying(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  // linkat with AT_EMPTY_PATH needs a privilege; the descriptor's entry in /proc does not.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::flock(fd, LOCK_EX) != 0 ||
      ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return error == EEXIST ? -2 : -1;
  }
  return fd;
#else
  (void)folder;
  (void)name;
  return -1;
#endif
}

}  // namespace

Directory Directory::open(const std::filesystem::path& path) {
  const int fd = openAtRetrying(AT_FDCWD, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) fail(errno, "cannot open the folder", path);
  return Directory(std::make_shared<const State>(fd, path));
}

const std::filesystem::path& Directory::path() const {
  return state_->path;
}

std::optional<Directory> Directory::openFolder(const std::string& name,
                                               std::error_code& error) const {
  const int fd =
      openAtRetrying(state_->fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    error.clear();
    return Directory(std::make_shared<const State>(fd, state_->path / name));
  }
  const int failure = errno;
  if (failure == ELOOP || failure == ENOTDIR) {
    // O_NOFOLLOW says ELOOP for a link, O_DIRECTORY ENOTDIR for a file; which one wins for a
    // link is the kernel's choice, so ask.
    struct stat st {};
    const bool link =
        ::fstatat(state_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    error = std::make_error_code(link ? std::errc::too_many_symbolic_link_levels
                                      : std::errc::not_a_directory);
  } else {
    error = std::error_code(failure, std::generic_category());
  }
  return std::nullopt;
}

bool Directory::makeFolder(const std::string& name, std::error_code& error) const {
  if (::mkdirat(state_->fd, name.c_str(), 0777) == 0) {
    error.clear();
    return true;
  }
  error = std::error_code(errno, std::generic_category());
  return false;
}

bool Directory::applyAttributes(uint32_t attributes) const {
  struct stat st {};
  if (::fstat(state_->fd, &st) != 0) return false;
  const mode_t mode = modeWithAttributes(st.st_mode, attributes);
  return mode == (st.st_mode & 07777) || ::fchmod(state_->fd, mode) == 0;
}

FileStatus Directory::status(const std::string& name) const {
  struct stat st {};
  if (::fstatat(state_->fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return fileStatusOf(st);
  if (errno == ENOENT) return FileStatus{};
  fail(errno, "cannot look at", state_->path / name);
}

std::vector<std::string> Directory::names() const {
  std::vector<std::string> names;
  // A descriptor of its own: reading moves the position, and closedir closes it.
  const int fd = openAtRetrying(state_->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(listing);
  return names;
}

HeldFile Directory::createHeldFile(const std::string& name) const {
  int fd = createLockedUnnamed(state_->fd, name);
  if (fd == -2) fail(EEXIST, "cannot create", state_->path / name);
  if (fd < 0) {
    // Elsewhere the lock follows the creation; a cleaner that came in between would find an
    // empty file and remove it, and this writer's rename would then fail its entry.
    fd = openAtRetrying(state_->fd, name.c_str(),
                        O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) fail(errno, "cannot create", state_->path / name);
    if (::flock(fd, LOCK_EX) != 0) {
      const int error = errno;
      ::close(fd);
      ::unlinkat(state_->fd, name.c_str(), 0);
      fail(error, "cannot create", state_->path / name);
    }
  }
  return HeldFile(fd);
}

std::optional<HeldFile> Directory::openHeldFile(const std::string& name, Held& outcome) const {
  // O_NONBLOCK: a FIFO put there meanwhile must not hang us. Write access is asked, not used:
  // a running program (ETXTBSY) or a file we may not write is refused as replacing it would be.
  const int fd = openAtRetrying(state_->fd, name.c_str(),
                                O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    outcome = error == ELOOP || error == ENOENT || error == EISDIR || error == ENXIO
                  ? Held::NotHere
                  : Held::ByAnother;
    return std::nullopt;
  }
  HeldFile file(fd);
  if (!tryLock(fd)) {
    outcome = Held::ByAnother;
    return std::nullopt;
  }
  outcome = Held::Yes;
  return file;
}

bool Directory::canOpenForWriting(const std::string& name) const {
  // No O_TRUNC: asking must not harm.
  const int fd = openAtRetrying(state_->fd, name.c_str(),
                                O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ELOOP;
  const bool free = tryLock(fd);
  ::close(fd);  // and the lock with it
  return free;
}

void Directory::rename(const std::string& from, const std::string& to) const {
  if (::renameat(state_->fd, from.c_str(), state_->fd, to.c_str()) != 0) {
    fail(errno, "cannot rename " + from + " to", state_->path / to);
  }
}

bool Directory::syncFileSystem() const {
#ifdef __linux__
  return ::syncfs(state_->fd) == 0;
#else
  ::sync();
  return true;
#endif
}

bool Directory::flushNames() const {
  return ::fsync(state_->fd) == 0;
}

std::optional<uint64_t> Directory::freeSpace() const {
  struct statvfs st {};
  if (::fstatvfs(state_->fd, &st) != 0) return std::nullopt;
  return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

bool Directory::remove(const std::string& name) const {
  return ::unlinkat(state_->fd, name.c_str(), 0) == 0;
}

bool Directory::removeIfUnheld(const std::string& name) const {
  const int fd =
      openAtRetrying(state_->fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool removed = false;
  struct stat opened {
  }, named{};
  // The name must still lead to the file whose lock we took.
  if (tryLock(fd) && ::fstat(fd, &opened) == 0 &&
      ::fstatat(state_->fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
      opened.st_ino == named.st_ino && opened.st_dev == named.st_dev && S_ISREG(named.st_mode)) {
    removed = ::unlinkat(state_->fd, name.c_str(), 0) == 0;
  }
  ::close(fd);
  return removed;
}

}  // namespace platform
