// One entry of an archive as its central directory record describes it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zip {

// Bits of the general purpose flag that the reader acts on.
enum EntryFlag : uint16_t {
  Encrypted = 0x0001,
  DataDescriptor = 0x0008,
  StrongEncryption = 0x0040,
  Utf8Name = 0x0800,
};

// The high byte of "version made by".
enum class HostSystem : uint8_t { MsDos = 0, Unix = 3 };

struct ZipEntry {
  std::string rawName;  // the stored bytes of the name, as they are
  // The name decoded to UTF-8; empty when the stored name cannot be a name (a NUL byte,
  // UTF-8 announced but invalid).
  std::string name;
  uint8_t hostSystem = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dosTime = 0;
  uint16_t dosDate = 0;
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  uint32_t externalAttributes = 0;
  // Why the record cannot be extracted (a missing ZIP64 value, an offset outside the archive);
  // such an entry is listed but skipped.
  std::optional<std::string> defect;

  bool isEncrypted() const { return (flags & Encrypted) != 0; }
  // The MS-DOS directory attribute, or a name that ends in a separator.
  bool isDirectory() const;
};

}  // namespace zip
