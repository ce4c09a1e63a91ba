// Where an entry may be written: the confinement of stored names to the base directory. Pure.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

// The path elements, below the base directory, of the entry's UTF-8 name with "/" and "\"
// alike and one trailing separator ignored; "." elements are dropped and ".." takes back the
// element before it. No elements: the name is the base itself ("./", which some archivers
// store). nullopt for a name that could lead anywhere but below the base: empty, absolute
// ("/x", "\x"), with a drive or any other colon ("C:x", "a:b"), with a separator doubled
// anywhere ("\\server\x", "a//b"), or whose ".." climb above the base.
std::optional<std::vector<std::string>> confinedPath(std::string_view name);

}  // namespace zip
