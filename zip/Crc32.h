// CRC-32 of the ZIP application note (zlib's), continued over any number of chunks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

// The CRC-32 of data continued from crc (0 for the first chunk).
uint32_t crc32(uint32_t crc, const void* data, size_t size);

}  // namespace zip
