#include "tests/support/ZipBuilder.h"

#include <zlib.h>

#include <stdexcept>

namespace testsupport {
namespace {

void put16(std::string& out, uint64_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, uint64_t value) {
  put16(out, value & 0xFFFF);
  put16(out, (value >> 16) & 0xFFFF);
}
void put64(std::string& out, uint64_t value) {
  put32(out, value & 0xFFFFFFFF);
  put32(out, value >> 32);
}

// The traditional PKWARE cipher, encrypting side, written independently of the reader's.
class Encryptor {
public:
  explicit Encryptor(const std::string& password) {
    for (const char c : password) update(static_cast<uint8_t>(c));
  }
  std::string encrypt(const std::string& plain) {
    std::string out;
    for (const char c : plain) {
      const uint32_t temp = (keys_[2] | 2) & 0xFFFF;
      const auto stream = static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
      out += static_cast<char>(static_cast<uint8_t>(c) ^ stream);
      update(static_cast<uint8_t>(c));
    }
    return out;
  }

private:
  static uint32_t crcByte(uint32_t crc, uint8_t byte) {
    // Raw CRC register step: zlib's crc32 of one byte undoes its pre- and post-inversion.
    const unsigned char b = byte;
    return ~static_cast<uint32_t>(::crc32(~crc & 0xFFFFFFFFu, &b, 1));
  }
  void update(uint8_t c) {
    keys_[0] = crcByte(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = crcByte(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

std::string compress(const ZipFixtureEntry& fixture) {
  if (fixture.payload) return *fixture.payload;
  switch (fixture.method) {
    case 0:
      return fixture.data;
    case 8:
      return deflateRaw(fixture.data);
    case 12:
      return bzip2Compress(fixture.data);
    case 14:
      return lzmaZipCompress(fixture.data, (fixture.flags & 0x0002) != 0);
    default:
      throw std::invalid_argument("a payload is needed for this method");
  }
}

struct Written {
  uint64_t offset;
  uint32_t crc;
  uint64_t compressedSize;
  uint64_t uncompressedSize;
  uint16_t flags;
};

}  // namespace

uint32_t crc32Of(const std::string& data) {
  return static_cast<uint32_t>(
      ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string deflateRaw(const std::string& data) {
  z_stream stream{};
  if (deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  if (deflate(&stream, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string unicodePathField(const std::string& storedName, const std::string& utf8Name) {
  std::string field;
  put16(field, 0x7075);
  put16(field, 5 + utf8Name.size());
  field += static_cast<char>(1);
  put32(field, crc32Of(storedName));
  return field + utf8Name;
}

std::string buildZip(const std::vector<ZipFixtureEntry>& entries, const ZipFixtureEnd& end) {
  std::string out;
  std::vector<Written> written;
  for (const ZipFixtureEntry& fixture : entries) {
    Written w{out.size(), fixture.crc.value_or(crc32Of(fixture.data)), 0, fixture.data.size(),
              fixture.flags};
    std::string payload = compress(fixture);
    if (fixture.dataDescriptor) w.flags |= 0x0008;
    if (fixture.password) {
      w.flags |= 0x0001;
      std::string header = "\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB";
      header += static_cast<char>(fixture.dataDescriptor ? fixture.dosTime >> 8 : w.crc >> 24);
      Encryptor encryptor(*fixture.password);
      payload = encryptor.encrypt(header + payload);
    }
    w.compressedSize = payload.size();

    std::string local;
    put32(local, fixture.badLocalSignature ? 0x04034b51 : 0x04034b50);
    put16(local, fixture.versionNeeded);
    put16(local, w.flags);
    put16(local, fixture.method);
    put16(local, fixture.dosTime);
    put16(local, fixture.dosDate);
    const bool hideSizes = fixture.dataDescriptor;
    put32(local, hideSizes ? 0 : w.crc);
    put32(local, hideSizes ? 0 : (fixture.zip64 ? 0xFFFFFFFF : w.compressedSize));
    put32(local, hideSizes ? 0 : (fixture.zip64 ? 0xFFFFFFFF : w.uncompressedSize));
    std::string localExtra = fixture.extraField;
    if (fixture.zip64) {
      put16(localExtra, 0x0001);
      put16(localExtra, 16);
      put64(localExtra, w.uncompressedSize);
      put64(localExtra, w.compressedSize);
    }
    put16(local, fixture.name.size());
    put16(local, localExtra.size());
    out += local + fixture.name + localExtra + payload;
    if (fixture.dataDescriptor) {
      put32(out, 0x08074b50);
      put32(out, w.crc);
      if (fixture.zip64) {
        put64(out, w.compressedSize);
        put64(out, w.uncompressedSize);
      } else {
        put32(out, w.compressedSize);
        put32(out, w.uncompressedSize);
      }
    }
    written.push_back(w);
  }

  const uint64_t centralOffset = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipFixtureEntry& fixture = entries[i];
    const Written& w = written[i];
    const uint64_t compressedSize = fixture.compressedSize.value_or(w.compressedSize);
    const uint64_t uncompressedSize = fixture.uncompressedSize.value_or(w.uncompressedSize);
    const uint64_t offset = fixture.localHeaderOffset.value_or(w.offset);
    std::string central;
    put32(central, fixture.badCentralSignature ? 0x02014b51 : 0x02014b50);
    put16(central, (static_cast<uint16_t>(fixture.hostSystem) << 8) | 63);
    put16(central, fixture.versionNeeded);
    put16(central, w.flags);
    put16(central, fixture.method);
    put16(central, fixture.dosTime);
    put16(central, fixture.dosDate);
    put32(central, w.crc);
    std::string extra = fixture.extraField;
    if (fixture.zip64) {
      put32(central, 0xFFFFFFFF);
      put32(central, 0xFFFFFFFF);
      put16(extra, 0x0001);
      put16(extra, 24);
      put64(extra, uncompressedSize);
      put64(extra, compressedSize);
      put64(extra, offset);
    } else {
      put32(central, compressedSize);
      put32(central, uncompressedSize);
    }
    put16(central, fixture.name.size());
    put16(central, extra.size());
    put16(central, 0);  // comment
    put16(central, 0);  // disk
    put16(central, 0);  // internal attributes
    put32(central, fixture.externalAttributes);
    put32(central, fixture.zip64 ? 0xFFFFFFFF : offset);
    out += central + fixture.name + extra;
  }
  const uint64_t centralSize = out.size() - centralOffset;

  if (end.zip64) {
    const uint64_t recordOffset = out.size();
    put32(out, 0x06064b50);
    put64(out, 44);
    put16(out, 63);
    put16(out, 45);
    put32(out, 0);
    put32(out, 0);
    put64(out, end.zip64EntriesTotal.value_or(entries.size()));
    put64(out, end.zip64EntriesTotal.value_or(entries.size()));
    put64(out, centralSize);
    put64(out, end.zip64CentralDirectoryOffset.value_or(centralOffset));
    if (!end.omitZip64Locator) {
      put32(out, 0x07064b50);
      put32(out, 0);
      put64(out, recordOffset);
      put32(out, 1);
    }
  }
  put32(out, 0x06054b50);
  put16(out, end.diskNumber.value_or(0));
  put16(out, end.diskNumber.value_or(0));
  const uint16_t count = end.zip64 ? 0xFFFF : static_cast<uint16_t>(entries.size());
  put16(out, end.entriesOnDisk.value_or(count));
  put16(out, end.entriesTotal.value_or(count));
  put32(out, end.centralDirectorySize.value_or(end.zip64 ? 0xFFFFFFFF : centralSize));
  put32(out, end.centralDirectoryOffset.value_or(end.zip64 ? 0xFFFFFFFF : centralOffset));
  put16(out, end.comment.size());
  return out + end.comment;
}

}  // namespace testsupport
