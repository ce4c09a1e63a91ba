// Base64 (the standard alphabet, with padding) as minisign's key and signature lines use it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace signature {

// The bytes of text, which must be base64 and nothing else (no blanks); nullopt otherwise.
std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text);

std::string encodeBase64(std::span<const std::uint8_t> bytes);

}  // namespace signature
