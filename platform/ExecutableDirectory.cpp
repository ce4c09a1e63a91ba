#include "platform/ExecutableDirectory.h"

#include <cerrno>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include <vector>
#endif

namespace platform {
namespace {

#ifdef _WIN32
std::filesystem::path executablePath() {
  // GetModuleFileNameW truncates silently when the buffer is short; grow until it fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "Cannot find the program's own path");
    }
    if (length < buffer.size()) return std::filesystem::path(buffer.data(), buffer.data() + length);
    if (buffer.size() >= 32768) {  // the longest path Windows has
      throw std::system_error(ERROR_INSUFFICIENT_BUFFER, std::system_category(),
                              "Cannot find the program's own path");
    }
    buffer.resize(buffer.size() * 2);
  }
}
#else
std::filesystem::path executablePath() {
  // read_symlink grows its buffer as needed, so a long path is never cut short.
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::system_error(error, "Cannot find the program's own path");
  // Once the running file has been replaced the kernel appends " (deleted)" to its name; the
  // directory part is still right, and that is all we use.
  return path;
}
#endif

}  // namespace

std::filesystem::path executableDirectory() {
  return executablePath().parent_path();
}

std::string withTrailingSeparator(const std::filesystem::path& directory) {
#ifdef _WIN32
  // Our strings are UTF-8; the narrow string() of a path would use the ANSI code page.
  const auto utf8 = directory.u8string();
  std::string text(utf8.begin(), utf8.end());
#else
  std::string text = directory.native();
#endif
  if (text.empty()) return text;
  const char last = text.back();
  const bool hasSeparator =
      last == '/' || (std::filesystem::path::preferred_separator == L'\\' && last == '\\');
  if (!hasSeparator) text += static_cast<char>(std::filesystem::path::preferred_separator);
  return text;
}

}  // namespace platform
