// The newest version taken from a header line, and its comparison with the installed one.
// Versions are compared as text, never parsed as numbers.
#pragma once

#include <string>
#include <string_view>

namespace versioncheck {

// Everything after the header line's first blank (U+0020), untrimmed; the whole line when
// it has no blank. "KUB 2.4.1.7" gives "2.4.1.7", "KUB  2.4.1.7" gives " 2.4.1.7".
std::u16string newestVersionFromHeader(std::u16string_view header);

// The text without the characters at or below U+0020 (blanks, tabs, controls) at both ends.
// The result views the argument's characters.
std::u16string_view trimControlAndBlanks(std::u16string_view text);

// Whether "Actualizar" is offered: the trimmed texts differ, code unit by code unit. This is
// inequality, not ordering, so an installed version newer than the listed one also offers.
bool updateOffered(std::u16string_view newestVersion, std::u16string_view installedVersion);

}  // namespace versioncheck
