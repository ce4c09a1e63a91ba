#include "zip/TraditionalCipher.h"

#include <algorithm>
#include <array>
#include <vector>

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

void updateKeys(uint32_t& key0, uint32_t& key1, uint32_t& key2, uint8_t plain) {
  key0 = crcStep(key0, plain);
  key1 = (key1 + (key0 & 0xFF)) * 134775813u + 1;
  key2 = crcStep(key2, static_cast<uint8_t>(key1 >> 24));
}

uint8_t keyStreamByte(uint32_t key2) {
  const uint32_t temp = (key2 | 2) & 0xFFFF;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

constexpr size_t maxInterleaved = 4;

}  // namespace

TraditionalCipher::TraditionalCipher(std::string_view password)
    : keys_{0x12345678, 0x23456789, 0x34567890} {
  for (const char c : password) {
    updateKeys(keys_.key0, keys_.key1, keys_.key2, static_cast<uint8_t>(c));
  }
}

template <size_t Count>
void TraditionalCipher::decryptInterleaved(const Lane* lanes, size_t length) {
  // The keys live in locals here: written through std::byte, the data may alias anything, so
  // keys kept in members would be stored and reloaded for every byte.
  std::array<Keys, Count> keys;
  std::array<std::byte*, Count> data;
  for (size_t lane = 0; lane < Count; ++lane) {
    keys[lane] = *lanes[lane].keys;
    data[lane] = lanes[lane].data;
  }
  for (size_t i = 0; i < length; ++i) {
    for (size_t lane = 0; lane < Count; ++lane) {
      Keys& k = keys[lane];
      const auto plain =
          static_cast<uint8_t>(static_cast<uint8_t>(data[lane][i]) ^ keyStreamByte(k.key2));
      updateKeys(k.key0, k.key1, k.key2, plain);
      data[lane][i] = static_cast<std::byte>(plain);
    }
  }
  for (size_t lane = 0; lane < Count; ++lane) *lanes[lane].keys = keys[lane];
}

void TraditionalCipher::decrypt(std::span<std::byte> data) {
  const Lane lane{&keys_, data.data(), data.size()};
  decryptInterleaved<1>(&lane, data.size());
}

void TraditionalCipher::decryptTogether(std::span<const Stream> streams) {
  // The longest streams go first, so that at the end the lanes run dry together rather than
  // one long stream going on alone.
  std::vector<Lane> waiting;
  waiting.reserve(streams.size());
  for (const Stream& stream : streams) {
    if (!stream.data.empty()) {
      waiting.push_back({&stream.cipher->keys_, stream.data.data(), stream.data.size()});
    }
  }
  std::sort(waiting.begin(), waiting.end(),
            [](const Lane& a, const Lane& b) { return a.left < b.left; });
  std::array<Lane, maxInterleaved> lanes{};
  size_t count = 0;
  for (;;) {
    while (count < maxInterleaved && !waiting.empty()) {
      lanes[count++] = waiting.back();
      waiting.pop_back();
    }
    if (count == 0) return;
    // The lanes advance together as far as the shortest goes; then the next stream takes its
    // place.
    const size_t length =
        std::min_element(lanes.begin(), lanes.begin() + count, [](const Lane& a, const Lane& b) {
          return a.left < b.left;
        })->left;
    switch (count) {
      case 4:
        decryptInterleaved<4>(lanes.data(), length);
        break;
      case 3:
        decryptInterleaved<3>(lanes.data(), length);
        break;
      case 2:
        decryptInterleaved<2>(lanes.data(), length);
        break;
      default:
        decryptInterleaved<1>(lanes.data(), length);
        break;
    }
    for (size_t lane = 0; lane < count; ++lane) {
      lanes[lane].data += length;
      lanes[lane].left -= length;
    }
    count = static_cast<size_t>(std::remove_if(lanes.begin(), lanes.begin() + count,
                                               [](const Lane& lane) { return lane.left == 0; }) -
                                lanes.begin());
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
