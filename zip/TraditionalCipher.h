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

  // Data of one encrypted entry, with the cipher that continues its key stream.
  struct Stream {
    TraditionalCipher* cipher = nullptr;
    std::span<std::byte> data;
  };

  // Keys initialised from the password's bytes, in order.
  explicit TraditionalCipher(std::string_view password);

  // Decrypts in place, continuing the key stream.
  void decrypt(std::span<std::byte> data);

  // Decrypts each stream in place, as decrypt would, several at once. Each byte's key waits for
  // the byte before it, a chain of table loads and multiplies that leaves most of a core idle;
  // the chains of different entries are independent, so interleaving them fills it. One core
  // decrypts about three times as fast with four streams as with one. The ciphers must differ.
  static void decryptTogether(std::span<const Stream> streams);

  // Decrypts the 12-byte encryption header that precedes the data and tells whether its last
  // byte equals checkByte (the CRC's high byte, or the DOS time's high byte when the local
  // header announces a data descriptor). On success the cipher is ready for the data.
  bool acceptHeader(std::span<const std::byte, headerSize> header, uint8_t checkByte);

private:
  struct Keys {
    uint32_t key0, key1, key2;
  };
  struct Lane {
    Keys* keys;
    std::byte* data;
    size_t left;
  };

  // Decrypts the next `length` bytes of each of Count lanes, byte by byte across the lanes.
  template <size_t Count>
  static void decryptInterleaved(const Lane* lanes, size_t length);

  Keys keys_;
};

}  // namespace zip
