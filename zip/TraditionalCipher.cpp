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

uint8_t TraditionalCipher::keyStreamByte() const {
  const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void TraditionalCipher::decrypt(std::span<std::byte> data) {
  for (std::byte& b : data) {
    const auto plain = static_cast<uint8_t>(static_cast<uint8_t>(b) ^ keyStreamByte());
    updateKeys(plain);
    b = static_cast<std::byte>(plain);
  }
}

bool TraditionalCipher::acceptHeader(std::span<const std::byte, headerSize> header,
                                     uint8_t checkByte) {
  std::array<std::byte, headerSize> plain{};
  std::copy(header.begin(), header.end(), plain.begin());
  decrypt(plain);
  return static_cast<uint8_t>(plain[headerSize - 1]) == checkByte;
}

}  // namespace zip
