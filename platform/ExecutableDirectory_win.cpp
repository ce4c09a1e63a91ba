#include "platform/ExecutableDirectory.h"

#include <windows.h>

#include <system_error>
#include <vector>

namespace platform {

std::filesystem::path executablePath() {
  // GetModuleFileNameW truncates silently when the buffer is short (and says so only through
  // the returned length); grow until the whole path fits.
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

}  // namespace platform
