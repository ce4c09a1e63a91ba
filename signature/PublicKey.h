// A minisign public key: the line of a minisign.pub that is not a comment, base64 of the
// algorithm "Ed", the 8-byte key id and the 32-byte Ed25519 public key.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace signature {

using KeyId = std::array<std::uint8_t, 8>;

// The key id as minisign prints it: 16 upper-case hexadecimal digits, last byte first.
std::string keyIdText(const KeyId& id);

class PublicKey {
public:
  // The key line (blanks around it ignored). Throws FormatError for anything else: another
  // length, bytes that are not base64, another algorithm.
  static PublicKey fromLine(std::string_view line);
  // A whole minisign.pub: an "untrusted comment:" line, then the key line.
  static PublicKey fromFileText(std::string_view text);

  const KeyId& id() const { return id_; }
  const std::array<std::uint8_t, 32>& key() const { return key_; }
  // The key line again.
  std::string line() const;

  PublicKey(const KeyId& id, const std::array<std::uint8_t, 32>& key) : id_(id), key_(key) {}

private:
  KeyId id_;
  std::array<std::uint8_t, 32> key_;
};

}  // namespace signature
