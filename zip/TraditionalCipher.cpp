#include "zip/TraditionalCipher.h"

#include <array>

namespace zip {
namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr auto crcTable = makeCrcTable();

// One step of the raw CRC-32 register, without the pre- and post-inversion of a full CRC.
uint32_t crcStep(uint32_t crc, uint8_t byte) {
  return crcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password)
    : keys_{0x12345678, 0x23456789, 0x34567890} {
  for (const char c : password) updateKeys(static_cast<uint8_t>(c));
}

void TraditionalCipher::updateKeys(uint8_t plain) {
  keys_[0] = crcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = crcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

void TraditionalCipher::decrypt(std::span<std::byte> data) {
  // The keys live in locals here: written through std::byte, the data may alias anything, so
  // keys kept in members would be stored and reloaded for every byte.
  uint32_t key0 = keys_[0], key1 = keys_[1], key2 = keys_[2];
  for (std::byte& b : data) {
    const uint32_t temp = (key2 | 2) & 0xFFFF;
    const auto plain = static_cast<uint8_t>(static_cast<uint8_t>(b) ^ ((temp * (temp ^ 1)) >> 8));
    key0 = crcStep(key0, plain);
    key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
    key2 = crcStep(key2, static_cast<uint8_t>(key1 >> 24));
    b = static_cast<std::byte>(plain);
  }
  keys_[0] = key0;
  keys_[1] = key1;
  keys_[2] = key2;
}

bool TraditionalCipher::acceptHeader(std::span<const std::byte, headerSize> header,
                                     uint8_t checkByte) {
  std::array<std::byte, headerSize> plain{};
  std::copy(header.begin(), header.end(), plain.begin());
  decrypt(plain);
  return static_cast<uint8_t>(plain[headerSize - 1]) == checkByte;
}

}  // namespace zip
