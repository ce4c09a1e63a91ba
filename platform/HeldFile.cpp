// What a held file is on every system; HeldFile_posix.cpp and HeldFile_win.cpp do the rest.
#include "platform/HeldFile.h"

namespace platform {

HeldFile::HeldFile(HeldFile&& other) noexcept : handle_(other.handle_) {
  other.handle_ = -1;
}

HeldFile& HeldFile::operator=(HeldFile&& other) noexcept {
  if (this != &other) {
    release();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

HeldFile::~HeldFile() {
  release();
}

}  // namespace platform
