// Reading the version history file: its bytes to its text lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace versioncheck {

// The file's bytes as text lines.
//
// Encoding: a byte order mark decides, tested in this order: EF BB BF UTF-8, FF FE UTF-16
// little-endian, FE FF UTF-16 big-endian; the mark is dropped. Without one, the bytes are
// in the system's ANSI code page (platform::ansiCodePage()). Ill-formed UTF-8 or UTF-16
// never fails: each bad piece becomes U+FFFD, as platform/Unicode.h describes.
//
// The text ends at its first U+0000; the rest is ignored. Lines end at CR LF, LF or CR; LF
// followed by CR is two breaks with an empty line between. A break at the very end adds no
// line, so empty text gives no lines and "\n" gives one empty line.
//
// Linear time and memory in the size of the input; never throws but std::bad_alloc.
// The caller caps the input (see kMaxVersionHistoryBytes in VersionHistoryFetch.h).
std::vector<std::u16string> readVersionHistoryLines(std::string_view bytes);

// The line rules alone, on text already decoded and cut at its first NUL.
std::vector<std::u16string> splitLines(std::u16string_view text);

}  // namespace versioncheck
