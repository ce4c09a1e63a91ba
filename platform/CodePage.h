// The system's single-byte code pages: the ANSI one (text files without a byte order mark)
// and the OEM one (legacy names in ZIP entries). Windows asks the system; elsewhere we use
// the code pages of a Western European Windows installation: 1252 and 850.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The two of a Western European installation have names; on Windows the system's may be any
// other number (932, 1251, ...), which decode() and fitsCodePage() take as well.
enum class CodePage : unsigned { Oem850 = 850, Windows1252 = 1252 };

CodePage ansiCodePage();
CodePage oemCodePage();

// Decodes bytes in the code page. Bytes without a character in the code page (0x81, 0x8D,
// 0x8F, 0x90, 0x9D in 1252) become the C1 control of the same value, as Windows does.
// Safe to call from any thread. Throws std::system_error only when the system has no
// converter for the code page at all.
std::u16string decode(std::string_view bytes, CodePage page);

// Whether every byte above 127 has a defined character in the code page.
bool fitsCodePage(std::string_view bytes, CodePage page);

}  // namespace platform
