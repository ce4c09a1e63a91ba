// Which entries an extraction selects. Pure.
#pragma once

#include <string_view>

namespace zip {

// Whether the entry name matches the wildcard mask ("*" any run of characters, "?" one),
// compared without regard to ASCII case. One trailing separator of the name (a directory
// entry's) is ignored. A mask without a directory part is compared with the last element of
// the name only, and nothing matches an empty last element; a mask with one ("/" or "\") is
// compared with the whole name, the two separators taken as equal.
bool matchesMask(std::string_view name, std::string_view mask);

}  // namespace zip
