#include "platform/ExecutableDirectory.h"

namespace platform {

std::filesystem::path executableDirectory() {
  return executablePath().parent_path();
}

std::string withTrailingSeparator(const std::filesystem::path& directory) {
  // UTF-8 on Windows, where the narrow string() would use the ANSI code page; elsewhere
  // u8string() is the native bytes unchanged.
  const auto utf8 = directory.u8string();
  std::string text(utf8.begin(), utf8.end());
  if (text.empty()) return text;
  constexpr auto preferred = static_cast<char>(std::filesystem::path::preferred_separator);
  const char last = text.back();
  if (last != '/' && last != preferred) text += preferred;
  return text;
}

}  // namespace platform
