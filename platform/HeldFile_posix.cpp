#include "platform/HeldFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "platform/Directory.h"
#include "platform/FileStamps.h"
#include "platform/PosixFiles.h"

namespace platform {

HeldFile HeldFile::createNew(const std::filesystem::path& path) {
  const auto folder = path.parent_path();
  return Directory::open(folder.empty() ? std::filesystem::path(".") : folder)
      .createHeldFile(path.filename().string());
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

size_t HeldFile::read(std::span<std::byte> data) {
  for (;;) {
    const ssize_t count = ::read(descriptor(), data.data(), data.size());
    if (count >= 0) return static_cast<size_t>(count);
    if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "cannot read");
  }
}

void HeldFile::release() {
  if (handle_ >= 0) ::close(descriptor());
  handle_ = -1;
}

bool HeldFile::flushToDisk() {
  return handle_ >= 0 && ::fsync(descriptor()) == 0;
}

bool HeldFile::flushIfFileByFile() {
  return handle_ >= 0;  // Directory::syncFileSystem flushes them all at once
}

FileStatus HeldFile::status() const {
  struct stat st {};
  if (::fstat(descriptor(), &st) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot look at a held file");
  }
  return fileStatusOf(st);
}

bool HeldFile::addExecuteBits(uint32_t executeBits) {
  struct stat created {};
  if (handle_ < 0 || ::fstat(descriptor(), &created) != 0) return false;
  const mode_t readable = (created.st_mode & 0444) >> 2;
  const mode_t mode = (created.st_mode & 07777) | (executeBits & 0111 & readable);
  return mode == (created.st_mode & 07777) || ::fchmod(descriptor(), mode) == 0;
}

bool HeldFile::setLastWriteTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const auto moment = momentFromDos(dosDate, dosTime);
  if (!moment || handle_ < 0) return false;
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // keep the access time
  times[1].tv_sec = static_cast<time_t>(*moment);
  times[1].tv_nsec = 0;
  return ::futimens(descriptor(), times) == 0;
}

bool HeldFile::applyAttributes(uint32_t attributes) {
  struct stat st {};
  if (handle_ < 0 || ::fstat(descriptor(), &st) != 0) return false;
  const mode_t mode = modeWithAttributes(st.st_mode, attributes);
  return mode == (st.st_mode & 07777) || ::fchmod(descriptor(), mode) == 0;
}

}  // namespace platform
