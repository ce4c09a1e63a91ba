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

// What the local part of an entry was written with, for its central record.
struct Written {
  uint64_t offset;
  uint32_t crc;
  uint64_t compressedSize;
  uint64_t uncompressedSize;
  uint16_t flags;
};

// Where the central directory lies, for the end records.
struct CentralDirectory {
  uint64_t entries;
  uint64_t offset;
  uint64_t size;
};

uint16_t flagsOf(const ZipFixtureEntry& fixture) {
  uint16_t flags = fixture.flags;
  if (fixture.dataDescriptor) flags |= 0x0008;
  if (fixture.password) flags |= 0x0001;
  return flags;
}

// The data as stored: compressed, and encrypted behind the 12-byte header when there is a
// password. The header's last byte is the one a reader checks the password by: the CRC's high
// byte, or the time's when the CRC follows the data.
std::string storedData(const ZipFixtureEntry& fixture, uint32_t crc) {
  std::string payload = compress(fixture);
  if (!fixture.password) return payload;
  std::string header = "\x11\x22\x33\x44\x55\x66\x77\x88\x99\xAA\xBB";
  header += static_cast<char>(fixture.dataDescriptor ? fixture.dosTime >> 8 : crc >> 24);
  Encryptor encryptor(*fixture.password);
  return encryptor.encrypt(header + payload);
}

// The local header with its name and extra field. A data descriptor hides the sizes and CRC;
// ZIP64 saturates the sizes and gives them in the extra field.
std::string localHeader(const ZipFixtureEntry& fixture, const Written& w) {
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
  std::string extra = fixture.extraField;
  if (fixture.zip64) {
    put16(extra, 0x0001);
    put16(extra, 16);
    put64(extra, w.uncompressedSize);
    put64(extra, w.compressedSize);
  }
  put16(local, fixture.name.size());
  put16(local, extra.size());
  return local + fixture.name + extra;
}

// The CRC and sizes after the data, the sizes 8 bytes wide for ZIP64.
std::string dataDescriptor(const ZipFixtureEntry& fixture, const Written& w) {
  std::string descriptor;
  put32(descriptor, 0x08074b50);
  put32(descriptor, w.crc);
  if (fixture.zip64) {
    put64(descriptor, w.compressedSize);
    put64(descriptor, w.uncompressedSize);
  } else {
    put32(descriptor, w.compressedSize);
    put32(descriptor, w.uncompressedSize);
  }
  return descriptor;
}

// Appends the entry's local header, data and data descriptor.
Written writeLocalPart(std::string& out, const ZipFixtureEntry& fixture) {
  Written w{out.size(), fixture.crc.value_or(crc32Of(fixture.data)), 0, fixture.data.size(),
            flagsOf(fixture)};
  const std::string payload = storedData(fixture, w.crc);
  w.compressedSize = payload.size();
  out += localHeader(fixture, w) + payload;
  if (fixture.dataDescriptor) out += dataDescriptor(fixture, w);
  return w;
}

// The central record with its name and extra field, with the fixture's lies about sizes and
// offset in place of what was written.
std::string centralRecord(const ZipFixtureEntry& fixture, const Written& w) {
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
  return central + fixture.name + extra;
}

// The ZIP64 end record written at recordOffset, and its locator unless it is to be missing.
std::string zip64EndRecords(const CentralDirectory& directory, const ZipFixtureEnd& end,
                            uint64_t recordOffset) {
  std::string records;
  put32(records, 0x06064b50);
  put64(records, 44);
  put16(records, 63);
  put16(records, 45);
  put32(records, 0);
  put32(records, 0);
  put64(records, end.zip64EntriesTotal.value_or(directory.entries));
  put64(records, end.zip64EntriesTotal.value_or(directory.entries));
  put64(records, directory.size);
  put64(records, end.zip64CentralDirectoryOffset.value_or(directory.offset));
  if (!end.omitZip64Locator) {
    put32(records, 0x07064b50);
    put32(records, 0);
    put64(records, recordOffset);
    put32(records, 1);
  }
  return records;
}

// The classic end record with the comment; its fields saturated when ZIP64 holds the values.
std::string endRecord(const CentralDirectory& directory, const ZipFixtureEnd& end) {
  std::string record;
  put32(record, 0x06054b50);
  put16(record, end.diskNumber.value_or(0));
  put16(record, end.diskNumber.value_or(0));
  const uint16_t count = end.zip64 ? 0xFFFF : static_cast<uint16_t>(directory.entries);
  put16(record, end.entriesOnDisk.value_or(count));
  put16(record, end.entriesTotal.value_or(count));
  put32(record, end.centralDirectorySize.value_or(end.zip64 ? 0xFFFFFFFF : directory.size));
  put32(record, end.centralDirectoryOffset.value_or(end.zip64 ? 0xFFFFFFFF : directory.offset));
  put16(record, end.comment.size());
  return record + end.comment;
}

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
  for (const ZipFixtureEntry& fixture : entries) written.push_back(writeLocalPart(out, fixture));
  CentralDirectory directory{entries.size(), out.size(), 0};
  for (size_t i = 0; i < entries.size(); ++i) out += centralRecord(entries[i], written[i]);
  directory.size = out.size() - directory.offset;
  if (end.zip64) out += zip64EndRecords(directory, end, out.size());
  return out + endRecord(directory, end);
}

}  // namespace testsupport
