// What an update leaves free on the disk it writes to, which holds the user's data too: the
// download stops, and the extraction writes nothing, when they would leave less.
#pragma once

#include <cstdint>

namespace update {

inline constexpr std::uint64_t kFreeSpaceReserve = 64u << 20;

}  // namespace update
