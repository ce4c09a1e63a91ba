// The extra field of a header: a run of (id, size, data) blocks, each size checked against
// what is left, so a damaged field yields nothing rather than a read past its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zip {

enum ExtraFieldId : uint16_t {
  Zip64ExtendedInformation = 0x0001,
  InfoZipUnicodePath = 0x7075,
};

// The data of the first block with the id; nullopt when there is none or the field is damaged
// before it.
std::optional<std::string_view> findExtraField(std::string_view extraField, uint16_t id);

}  // namespace zip
