// Little-endian fields of ZIP headers, read from bytes whose length the caller has checked.
#pragma once

#include <cstdint>

namespace zip {

inline uint16_t readLe16(const void* bytes) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t readLe32(const void* bytes) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t readLe64(const void* bytes) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  return static_cast<uint64_t>(readLe32(p)) | (static_cast<uint64_t>(readLe32(p + 4)) << 32);
}

}  // namespace zip
