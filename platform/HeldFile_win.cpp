#include "platform/HeldFile.h"

#include <windows.h>

#include <algorithm>
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

void HeldFile::write(std::span<const std::byte> data) {
  while (!data.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handleOf(handle_), data.data(), piece, &written, nullptr)) {
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "cannot write");
    }
    data = data.subspan(written);
  }
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
