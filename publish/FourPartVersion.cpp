#include "publish/FourPartVersion.h"

namespace publish {

std::string FourPartVersion::text() const {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::optional<FourPartVersion> parseFourPartVersion(std::string_view text) {
  FourPartVersion version;
  for (size_t i = 0; i < 4; ++i) {
    const size_t dot = text.find('.');
    if ((i < 3) != (dot != std::string_view::npos)) return std::nullopt;
    const std::string_view part = text.substr(0, dot);
    if (part.empty() || part.size() > 5 || (part.size() > 1 && part[0] == '0')) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > 65535) return std::nullopt;
    version.parts[i] = value;
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
  }
  return version;
}

}  // namespace publish
