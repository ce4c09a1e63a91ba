// How an entry's stored name bytes become text. Pure: the code pages come from platform/.
//
// The name is UTF-8 when flag bit 11 says so or when its bytes above 127 form valid UTF-8;
// else an Info-ZIP Unicode Path extra field is used when its CRC-32 matches the stored name;
// else the bytes are in a legacy code page: OEM for names made on MS-DOS or whose bytes fit
// OEM but not ANSI, ANSI otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace zip {

struct CodePages {
  platform::CodePage ansi;
  platform::CodePage oem;
};

// The system's code pages.
CodePages systemCodePages();

// The name as UTF-8; empty when the bytes cannot make a name: a NUL byte, or invalid UTF-8
// where UTF-8 is announced.
std::string decodeEntryName(std::string_view rawName, uint16_t flags, uint8_t hostSystem,
                            std::string_view extraField, const CodePages& pages);

}  // namespace zip
