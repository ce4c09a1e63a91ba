// A release's version: four numbers joined by dots, as Quendral.exe's file version has them
// (each part 0..65535), compared as numbers: 2.4.1.10 is newer than 2.4.1.9.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace publish {

struct FourPartVersion {
  std::array<std::uint32_t, 4> parts{};
  auto operator<=>(const FourPartVersion&) const = default;
  std::string text() const;
};

// "2.4.1.7"; nullopt for anything else: another number of parts, a part that is empty, not
// decimal digits, above 65535, or written with a leading zero ("2.04.1.7", which would name
// another archive than the version's own text).
std::optional<FourPartVersion> parseFourPartVersion(std::string_view text);

}  // namespace publish
