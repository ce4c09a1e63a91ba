#include "signature/Base64.h"

#include <sodium.h>

#include "signature/Sodium.h"

namespace signature {

std::optional<std::vector<std::uint8_t>> decodeBase64(std::string_view text) {
  ensureSodium();
  std::vector<std::uint8_t> bytes(text.size() / 4 * 3 + 3);
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0)
    return std::nullopt;
  // libsodium stops at the first character that is not base64; the whole text must be.
  if (end != text.data() + text.size()) return std::nullopt;
  bytes.resize(length);
  return bytes;
}

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
  ensureSodium();
  std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(),
                    sodium_base64_VARIANT_ORIGINAL);
  text.resize(text.size() - 1);  // the terminator libsodium writes
  return text;
}

}  // namespace signature
