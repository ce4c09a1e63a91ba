// A minisign secret key file, as `minisign -G` writes it: an "untrusted comment:" line, then
// base64 of the algorithm "Ed", the key derivation ("Sc": scrypt, or two zero bytes when the
// key has no password), the checksum algorithm "B2", the scrypt salt (32 bytes), its
// operations and memory limits (8 bytes each, little-endian), and then, encrypted with the
// password's scrypt stream when there is one: the key id (8), the Ed25519 secret key (64: its
// seed, then its public key) and a checksum (32).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "signature/PublicKey.h"

namespace signature {

class SecretKey {
public:
  // Reads a key file's text. askPassword is called once, only for a key that has a password.
  // Throws FormatError for a text that is not a minisign secret key, and for a password that
  // does not open the key (the key's seed must give the public key stored beside it).
  static SecretKey fromFileText(std::string_view text,
                                const std::function<std::string()>& askPassword);
  // A new random key pair with a random key id.
  static SecretKey generate();
  ~SecretKey();
  SecretKey(const SecretKey&) = delete;
  SecretKey& operator=(const SecretKey&) = delete;
  SecretKey(SecretKey&& other) noexcept;
  SecretKey& operator=(SecretKey&&) = delete;

  const KeyId& id() const { return id_; }
  // The Ed25519 secret key: the seed and the public key.
  const std::array<std::uint8_t, 64>& key() const { return key_; }
  PublicKey publicKey() const;

private:
  SecretKey() = default;
  KeyId id_{};
  std::array<std::uint8_t, 64> key_{};
};

}  // namespace signature
