#include "zip/ExtraField.h"

#include "zip/LittleEndian.h"

namespace zip {

std::optional<std::string_view> findExtraField(std::string_view extraField, uint16_t id) {
  while (extraField.size() >= 4) {
    const uint16_t blockId = readLe16(extraField.data());
    const uint16_t blockSize = readLe16(extraField.data() + 2);
    extraField.remove_prefix(4);
    if (blockSize > extraField.size()) return std::nullopt;
    if (blockId == id) return extraField.substr(0, blockSize);
    extraField.remove_prefix(blockSize);
  }
  return std::nullopt;
}

}  // namespace zip
