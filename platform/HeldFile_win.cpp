#include "platform/HeldFile.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#include <system_error>

namespace platform {
namespace {

HANDLE handleOf(std::intptr_t native) {
  return reinterpret_cast<HANDLE>(native);
}

std::string utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

HeldFile HeldFile::createNew(const std::filesystem::path& path) {
  // Shared for deletion only: the writer's own rename over the target must work, while anyone
  // else who opens the file (to read it, or to remove it as a leftover) is refused.
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const std::string what = "cannot create \"" + utf8(path) + "\"";
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      throw std::system_error(std::make_error_code(std::errc::file_exists), what);
    throw std::system_error(static_cast<int>(error), std::system_category(), what);
  }
  return HeldFile(reinterpret_cast<std::intptr_t>(handle));
}

std::FILE* HeldFile::openWriteStream() const {
  HANDLE copy = nullptr;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, handleOf(handle_), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(copy), _O_BINARY);
  if (fd < 0) {
    CloseHandle(copy);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);
  return stream;
}

void HeldFile::release() {
  if (handle_ != -1) CloseHandle(handleOf(handle_));
  handle_ = -1;
}

bool HeldFile::addExecuteBits(uint32_t) {
  return handle_ != -1;  // Windows keeps no execute bits
}

bool removeIfUnheld(const std::filesystem::path& path) {
  // Opening it without sharing anything fails while its writer holds it; when it succeeds, the
  // file goes when this handle closes.
  const HANDLE handle =
      CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace platform
