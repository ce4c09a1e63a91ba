// When two names in one folder name the same file. Linux tells letter case apart, so "A.txt"
// and "a.txt" are two files there; Windows does not, so they are one. Whoever keeps track of
// names it is about to write (an extraction waiting for an earlier entry of the same name)
// compares their keys, never the names themselves.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The form of a UTF-8 name (or a path of such names joined by "/") under which names that the
// system takes for one file are equal: the name itself on POSIX systems, its upper-case form on
// Windows, folded character by character as the file system folds names (no locale's rules, so
// "i" and "I" are one file in Turkey as anywhere). Not for display.
std::string fileNameKey(std::string_view name);

}  // namespace platform
