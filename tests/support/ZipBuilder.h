// Builds ZIP archives in memory, sound or deliberately damaged, for the tests of the reader.
// Every field a hostile archive might lie about can be overridden.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ZipFixtureEntry {
  std::string name{};  // the stored bytes of the name
  std::string data{};  // the content before compression
  // 0, 8, 12 and 14 are compressed here; any other method needs a payload.
  uint16_t method = 0;
  std::optional<std::string> payload{};  // the compressed bytes as stored, instead of compressing
  uint16_t flags = 0;                    // besides the bits the options below set
  uint8_t hostSystem = 0;                // high byte of "version made by"
  uint16_t versionNeeded = 20;
  uint32_t externalAttributes = 0;
  uint16_t dosTime = 0x6000;              // 12:00:00
  uint16_t dosDate = 0x5821;              // 2024-01-01
  std::string extraField{};               // central and local
  std::optional<std::string> password{};  // traditional encryption
  bool dataDescriptor = false;            // flag bit 3, sizes and CRC after the data
  bool zip64 = false;                     // sizes and offset in a ZIP64 extra field

  // Lies and damage.
  std::optional<uint32_t> crc{};
  std::optional<uint64_t> compressedSize{};    // in the central record
  std::optional<uint64_t> uncompressedSize{};  // in the central record
  std::optional<uint64_t> localHeaderOffset{};
  bool badLocalSignature = false;
  bool badCentralSignature = false;
};

struct ZipFixtureEnd {
  std::string comment{};
  bool zip64 = false;  // ZIP64 end record and locator, with saturated classic fields
  bool omitZip64Locator = false;
  std::optional<uint16_t> diskNumber{};
  std::optional<uint16_t> entriesOnDisk{};
  std::optional<uint16_t> entriesTotal{};
  std::optional<uint32_t> centralDirectorySize{};
  std::optional<uint32_t> centralDirectoryOffset{};
  std::optional<uint64_t> zip64EntriesTotal{};
  std::optional<uint64_t> zip64CentralDirectoryOffset{};
};

// The archive's bytes.
std::string buildZip(const std::vector<ZipFixtureEntry>& entries, const ZipFixtureEnd& end = {});

// Compressed forms of data, as an archive stores them for methods 8, 12 and 14.
std::string deflateRaw(const std::string& data);
std::string bzip2Compress(const std::string& data);
std::string lzmaZipCompress(const std::string& data, bool endMarker);

// An Info-ZIP Unicode Path extra field (0x7075) naming utf8Name for the stored name.
std::string unicodePathField(const std::string& storedName, const std::string& utf8Name);

// CRC-32 as zlib computes it.
uint32_t crc32Of(const std::string& data);

}  // namespace testsupport
