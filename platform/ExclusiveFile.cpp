// What an exclusive file is on every system; ExclusiveFile_posix.cpp and ExclusiveFile_win.cpp
// do the rest.
#include "platform/ExclusiveFile.h"

#include <utility>

namespace platform {

ExclusiveFile::~ExclusiveFile() {
  closeNative(native_);
}

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : path_(std::move(other.path_)),
      native_(std::exchange(other.native_, kClosed)),
      position_(std::exchange(other.position_, 0)) {}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& other) noexcept {
  if (this != &other) {
    closeNative(native_);
    path_ = std::move(other.path_);
    native_ = std::exchange(other.native_, kClosed);
    position_ = std::exchange(other.position_, 0);
  }
  return *this;
}

}  // namespace platform
