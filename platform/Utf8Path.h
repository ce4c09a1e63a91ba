// Paths and the UTF-8 text the program works in (entry names, messages). The narrow form of a
// path is the implementation's choice on Windows (UTF-8 with MinGW's libstdc++, the ANSI code
// page with Microsoft's library, which throws for a character the code page lacks); these are
// UTF-8 everywhere, and elsewhere the native bytes unchanged.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

inline std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

inline std::filesystem::path pathOfUtf8(const std::string& text) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

}  // namespace platform
