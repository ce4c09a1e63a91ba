#include "signature/PublicKey.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "signature/Base64.h"
#include "signature/FormatError.h"
#include "signature/TextLines.h"

namespace signature {

std::string keyIdText(const KeyId& id) {
  std::string text;
  for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", *byte);
    text += digits;
  }
  return text;
}

PublicKey PublicKey::fromLine(std::string_view line) {
  const auto bytes = decodeBase64(trimmed(line));
  if (!bytes) throw FormatError("the public key is not base64");
  if (bytes->size() != 42) throw FormatError("the public key is not 42 bytes long");
  if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd')
    throw FormatError("the public key is not an Ed25519 key");
  KeyId id;
  std::array<std::uint8_t, 32> key;
  std::copy_n(bytes->begin() + 2, id.size(), id.begin());
  std::copy_n(bytes->begin() + 10, key.size(), key.begin());
  return PublicKey(id, key);
}

PublicKey PublicKey::fromFileText(std::string_view text) {
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.size() < 2 || !lines[0].starts_with("untrusted comment:"))
    throw FormatError("a public key file is a comment line and a key line");
  for (size_t i = 2; i < lines.size(); ++i)
    if (!trimmed(lines[i]).empty()) throw FormatError("the public key file has more than 2 lines");
  return fromLine(lines[1]);
}

std::string PublicKey::line() const {
  std::vector<std::uint8_t> bytes{'E', 'd'};
  bytes.insert(bytes.end(), id_.begin(), id_.end());
  bytes.insert(bytes.end(), key_.begin(), key_.end());
  return encodeBase64(bytes);
}

}  // namespace signature
