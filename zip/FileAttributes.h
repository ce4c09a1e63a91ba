// What an entry's external attributes stand for: its Windows attributes and its Unix execute
// bits. Pure.
#pragma once

#include <cstdint>

namespace zip {

// Windows attribute bits (platform::FileAttribute) for the entry. Entries made on Unix, or
// whose value exceeds 0x1FFFF, carry a Unix mode in the high 16 bits: read-only when the owner
// may not write, the directory attribute for a directory, the system attribute for the special
// file types (links, devices, pipes, sockets). Otherwise the low byte is the MS-DOS attribute
// byte.
uint32_t attributesFromExternal(uint32_t externalAttributes, uint8_t hostSystem);

// The execute bits (within 0111) of the Unix mode in the high 16 bits, for an entry made on Unix
// as a regular file or with no file type; 0 for any other entry, also for one from another
// system whose value only looks like a mode. A new file gets these bits.
uint32_t executeBitsFromExternal(uint32_t externalAttributes, uint8_t hostSystem);

}  // namespace zip
