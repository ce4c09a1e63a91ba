#include "platform/ExecutableDirectory.h"

#include "platform/Utf8Path.h"

namespace platform {

std::filesystem::path executableDirectory() {
  return executablePath().parent_path();
}

std::string withTrailingSeparator(const std::filesystem::path& directory) {
  std::string text = utf8Of(directory);
  if (text.empty()) return text;
  constexpr auto preferred = static_cast<char>(std::filesystem::path::preferred_separator);
  const char last = text.back();
  if (last != '/' && last != preferred) text += preferred;
  return text;
}

}  // namespace platform
