#include "signature/SecretKey.h"

#include <sodium.h>

#include <algorithm>
#include <vector>

#include "signature/Base64.h"
#include "signature/FormatError.h"
#include "signature/Sodium.h"
#include "signature/TextLines.h"

namespace signature {
namespace {

constexpr size_t kKeyFileBytes = 158;
constexpr size_t kSaltAt = 6;
constexpr size_t kOpsLimitAt = 38;
constexpr size_t kMemLimitAt = 46;
constexpr size_t kEncryptedAt = 54;  // key id, secret key, checksum
constexpr size_t kEncryptedBytes = kKeyFileBytes - kEncryptedAt;

std::uint64_t littleEndian64(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

// XORs the encrypted part of the key with the scrypt stream of the password.
void decrypt(std::vector<std::uint8_t>& bytes, const std::string& password) {
  std::array<std::uint8_t, kEncryptedBytes> stream{};
  const std::uint64_t opsLimit = littleEndian64(&bytes[kOpsLimitAt]);
  const std::uint64_t memLimit = littleEndian64(&bytes[kMemLimitAt]);
  if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(),
                                         password.size(), &bytes[kSaltAt], opsLimit,
                                         static_cast<size_t>(memLimit)) != 0)
    throw FormatError("the secret key's password cannot be derived (not enough memory?)");
  for (size_t i = 0; i < kEncryptedBytes; ++i) bytes[kEncryptedAt + i] ^= stream[i];
  sodium_memzero(stream.data(), stream.size());
}

}  // namespace

SecretKey SecretKey::fromFileText(std::string_view text,
                                  const std::function<std::string()>& askPassword) {
  ensureSodium();
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.size() < 2 || !lines[0].starts_with("untrusted comment:"))
    throw FormatError("a secret key file is a comment line and a key line");
  auto decoded = decodeBase64(trimmed(lines[1]));
  if (!decoded || decoded->size() != kKeyFileBytes)
    throw FormatError("the secret key line is not 158 bytes of base64");
  std::vector<std::uint8_t>& bytes = *decoded;
  if (bytes[0] != 'E' || bytes[1] != 'd' || bytes[4] != 'B' || bytes[5] != '2')
    throw FormatError("the secret key is not an Ed25519 key with a BLAKE2b checksum");
  if (bytes[2] == 'S' && bytes[3] == 'c') {
    std::string password = askPassword();
    decrypt(bytes, password);
    sodium_memzero(password.data(), password.size());
  } else if (bytes[2] != 0 || bytes[3] != 0) {
    throw FormatError("the secret key's password derivation is neither scrypt nor none");
  }
  SecretKey key;
  std::copy_n(bytes.begin() + kEncryptedAt, key.id_.size(), key.id_.begin());
  std::copy_n(bytes.begin() + kEncryptedAt + 8, key.key_.size(), key.key_.begin());
  sodium_memzero(bytes.data(), bytes.size());

  // The seed must give the public key stored after it: a wrong password gives another seed.
  std::array<std::uint8_t, 32> derivedPublic{};
  std::array<std::uint8_t, 64> derivedSecret{};
  crypto_sign_seed_keypair(derivedPublic.data(), derivedSecret.data(), key.key_.data());
  sodium_memzero(derivedSecret.data(), derivedSecret.size());
  if (!std::equal(derivedPublic.begin(), derivedPublic.end(), key.key_.begin() + 32))
    throw FormatError("the password is wrong, or the secret key file is damaged");
  return key;
}

SecretKey SecretKey::generate() {
  ensureSodium();
  SecretKey key;
  randombytes_buf(key.id_.data(), key.id_.size());
  std::array<std::uint8_t, 32> publicPart{};
  crypto_sign_keypair(publicPart.data(), key.key_.data());
  return key;
}

SecretKey::~SecretKey() {
  sodium_memzero(key_.data(), key_.size());
}

SecretKey::SecretKey(SecretKey&& other) noexcept : id_(other.id_), key_(other.key_) {
  sodium_memzero(other.key_.data(), other.key_.size());
}

PublicKey SecretKey::publicKey() const {
  std::array<std::uint8_t, 32> publicPart{};
  std::copy_n(key_.begin() + 32, publicPart.size(), publicPart.begin());
  return PublicKey(id_, publicPart);
}

}  // namespace signature
