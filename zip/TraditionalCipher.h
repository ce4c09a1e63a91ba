// The traditional PKWARE encryption ("ZipCrypto") of the ZIP application note, decrypting side.
// Weak by design; the updater reads it because its archives use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace zip {

class TraditionalCipher {
public:
  static constexpr size_t headerSize = 12;

  // Keys initialised from the password's bytes, in order.
  explicit TraditionalCipher(std::string_view password);

  // Decrypts in place, continuing the key stream.
  void decrypt(std::span<std::byte> data);

  // Decrypts the 12-byte encryption header that precedes the data and tells whether its last
  // byte equals checkByte (the CRC's high byte, or the DOS time's high byte when the local
  // header announces a data descriptor). On success the cipher is ready for the data.
  bool acceptHeader(std::span<const std::byte, headerSize> header, uint8_t checkByte);

private:
  void updateKeys(uint8_t plain);

  uint32_t keys_[3];
};

}  // namespace zip
