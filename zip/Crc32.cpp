#include "zip/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace zip {

uint32_t crc32(uint32_t crc, const void* data, size_t size) {
  const auto* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  // zlib takes a 32-bit length; feed larger chunks in parts.
  while (size > 0) {
    const auto part = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    value = ::crc32(value, bytes, part);
    bytes += part;
    size -= part;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace zip
