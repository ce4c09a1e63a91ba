// The one Unicode codec of the program, for text that comes from outside: the version history
// file's bytes, ZIP entry names, and names that end up in URLs, paths and messages.
//
// Strict check: isValidUtf8 says whether bytes are well-formed UTF-8 (no overlong forms, no
// encoded surrogates, nothing above U+10FFFF, nothing cut short): the same rules the lenient
// decoder applies.
//
// Replacement rule: nothing here ever fails or throws on bad input. Every ill-formed piece
// becomes one U+FFFD REPLACEMENT CHARACTER and decoding goes on with the next unit:
// - UTF-8: each maximal subpart of an ill-formed sequence gives one U+FFFD (the practice
//   that Unicode recommends and that Windows' and browsers' decoders follow). So a stray
//   continuation byte, a byte that never starts a sequence (C0, C1, F5..FF), an overlong
//   form (E0 80.., F0 80..), an encoded surrogate (ED A0..) and a code point above
//   U+10FFFF each give U+FFFD per offending byte, while a sequence cut short (by the end of
//   the input or by a byte that cannot continue it) gives one U+FFFD for the bytes it had.
// - UTF-16: a high surrogate not followed by a low one, or a low surrogate not preceded by
//   a high one, gives U+FFFD; a last odd byte gives U+FFFD.
// So the result is always well-formed UTF-16, and U+0000 comes only from a real NUL.
// Every function runs in one pass, linear in its input.
#pragma once

#include <string>
#include <string_view>

namespace platform {

enum class ByteOrder { LittleEndian, BigEndian };

std::u16string decodeUtf8(std::string_view bytes);
std::u16string decodeUtf16(std::string_view bytes, ByteOrder order);

// UTF-16 to UTF-8, with U+FFFD in place of a lone surrogate.
std::string encodeUtf8(std::u16string_view text);

// Whether bytes are well-formed UTF-8 throughout.
bool isValidUtf8(std::string_view bytes);

}  // namespace platform
