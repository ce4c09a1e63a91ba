#include "platform/FileVersion.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace platform {
namespace {

// Every offset in a PE file is checked before use: the file may be truncated, damaged or
// made to mislead. Offsets are carried in 64 bits, where the sum of a few 32-bit fields
// cannot overflow, and each range is compared with what is really there.

constexpr uint32_t kResourceTypeVersion = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedInfoSize = 52;  // VS_FIXEDFILEINFO
// A version block states its length in 16 bits, so nothing of it lies further out.
constexpr uint64_t kMaxVersionBlock = 0xFFFF;
// Three levels (type, name, language); a fourth would be a damaged tree.
constexpr int kResourceLevels = 3;

uint16_t le16(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t le32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<uint32_t>(bytes[at + 2]) << 16) |
         (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

bool fitsWithin(uint64_t offset, uint64_t length, uint64_t total) {
  return offset <= total && length <= total - offset;
}

// Bytes of the executable, read range by range so that a large file costs only the few
// kilobytes its headers point at.
class ByteSource {
public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // The bytes at [offset, offset + length), or nothing when they are not all there.
  virtual std::optional<std::vector<uint8_t>> read(uint64_t offset, uint64_t length) = 0;
};

class MemorySource final : public ByteSource {
public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  std::optional<std::vector<uint8_t>> read(uint64_t offset, uint64_t length) override {
    if (!fitsWithin(offset, length, bytes_.size())) return std::nullopt;
    const auto part = bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
    return std::vector<uint8_t>(part.begin(), part.end());
  }

private:
  std::span<const uint8_t> bytes_;
};

class FileSource final : public ByteSource {
public:
  FileSource(const std::filesystem::path& path, uint64_t size)
      : in_(path, std::ios::binary), size_(size) {}
  bool isOpen() const { return in_.is_open(); }
  uint64_t size() const override { return size_; }
  std::optional<std::vector<uint8_t>> read(uint64_t offset, uint64_t length) override {
    // The size was taken at the start; the checks below also catch a file cut short since.
    if (!fitsWithin(offset, length, size_)) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    if (!in_ || static_cast<uint64_t>(in_.gcount()) != length) return std::nullopt;
    return bytes;
  }

private:
  std::ifstream in_;
  uint64_t size_;
};

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawPointer = 0;
};

// What the headers tell: where the sections lie and where the resource tree begins.
struct ImageLayout {
  std::vector<Section> sections;
  uint32_t resourceRva = 0;
};

// The file offset of the bytes [rva, rva + length) of the loaded image, when a section holds
// all of them in the file.
std::optional<uint64_t> fileOffsetOf(const ImageLayout& image, uint64_t rva, uint64_t length) {
  for (const Section& section : image.sections) {
    // Raw bytes past the virtual size are not part of the image; a virtual size of 0 is an
    // old linkers' way of saying "as much as the raw data".
    uint64_t extent = section.rawSize;
    if (section.virtualSize != 0) extent = std::min<uint64_t>(extent, section.virtualSize);
    if (rva < section.virtualAddress) continue;
    const uint64_t inSection = rva - section.virtualAddress;
    if (!fitsWithin(inSection, length, extent)) continue;
    return uint64_t{section.rawPointer} + inSection;
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> readRva(ByteSource& source, const ImageLayout& image,
                                            uint64_t rva, uint64_t length) {
  const auto offset = fileOffsetOf(image, rva, length);
  if (!offset) return std::nullopt;
  return source.read(*offset, length);
}

std::optional<ImageLayout> readLayout(ByteSource& source) {
  const auto dos = source.read(0, 64);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return std::nullopt;
  const uint64_t peOffset = le32(*dos, 0x3C);

  // Signature "PE\0\0" and the COFF file header.
  const auto pe = source.read(peOffset, 24);
  if (!pe || le32(*pe, 0) != 0x00004550) return std::nullopt;
  const uint16_t sectionCount = le16(*pe, 6);
  const uint16_t optionalHeaderSize = le16(*pe, 20);

  // The optional header, as far as the resource entry of its data directory.
  const uint64_t optionalOffset = peOffset + 24;
  const auto magic = source.read(optionalOffset, 2);
  if (!magic) return std::nullopt;
  size_t directoryCountAt = 0;
  switch (le16(*magic, 0)) {
    case 0x10B:  // PE32
      directoryCountAt = 92;
      break;
    case 0x20B:  // PE32+
      directoryCountAt = 108;
      break;
    default:
      return std::nullopt;
  }
  const size_t resourceEntryAt = directoryCountAt + 4 + 2 * 8;
  if (optionalHeaderSize < resourceEntryAt + 8) return std::nullopt;
  const auto optional = source.read(optionalOffset, resourceEntryAt + 8);
  if (!optional || le32(*optional, directoryCountAt) <= 2) return std::nullopt;

  ImageLayout image;
  image.resourceRva = le32(*optional, resourceEntryAt);
  if (image.resourceRva == 0) return std::nullopt;

  const auto table = source.read(optionalOffset + optionalHeaderSize, uint64_t{sectionCount} * 40);
  if (!table) return std::nullopt;
  image.sections.reserve(sectionCount);
  for (size_t i = 0; i < sectionCount; ++i) {
    const size_t at = i * 40;
    image.sections.push_back({le32(*table, at + 12), le32(*table, at + 8), le32(*table, at + 16),
                              le32(*table, at + 20)});
  }
  return image;
}

struct ResourceData {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// Index of the entry to follow in a directory: at the top the RT_VERSION type, below it the
// first name and the first language, as a lookup without a language preference finds them.
std::optional<uint32_t> chooseEntry(ByteSource& source, const ImageLayout& image,
                                    uint64_t directoryRva, int level, uint16_t namedCount,
                                    uint16_t idCount) {
  if (level > 0) return 0;
  // Id entries follow the named ones; the type we want has an id.
  const auto ids =
      readRva(source, image, directoryRva + 16 + uint64_t{namedCount} * 8, uint64_t{idCount} * 8);
  if (!ids) return std::nullopt;
  for (uint32_t i = 0; i < idCount; ++i) {
    if (le32(*ids, i * 8) == kResourceTypeVersion) return namedCount + i;
  }
  return std::nullopt;
}

std::optional<ResourceData> findVersionResource(ByteSource& source, const ImageLayout& image) {
  // Offsets in the tree count from the start of the resource directory. A damaged tree may
  // point back to a directory already seen; such a tree is refused rather than followed.
  std::vector<uint32_t> visited;
  uint32_t directory = 0;
  for (int level = 0; level < kResourceLevels; ++level) {
    if (std::find(visited.begin(), visited.end(), directory) != visited.end()) return std::nullopt;
    visited.push_back(directory);

    const uint64_t directoryRva = uint64_t{image.resourceRva} + directory;
    const auto header = readRva(source, image, directoryRva, 16);
    if (!header) return std::nullopt;
    const uint16_t namedCount = le16(*header, 12);
    const uint16_t idCount = le16(*header, 14);
    if (namedCount + idCount == 0) return std::nullopt;

    const auto index = chooseEntry(source, image, directoryRva, level, namedCount, idCount);
    if (!index) return std::nullopt;
    const auto entry = readRva(source, image, directoryRva + 16 + uint64_t{*index} * 8, 8);
    if (!entry) return std::nullopt;
    const uint32_t target = le32(*entry, 4);
    const bool isDirectory = (target & 0x80000000u) != 0;

    if (level + 1 < kResourceLevels) {
      if (!isDirectory) return std::nullopt;
      directory = target & 0x7FFFFFFFu;
      continue;
    }
    if (isDirectory) return std::nullopt;
    const auto data = readRva(source, image, uint64_t{image.resourceRva} + target, 16);
    if (!data) return std::nullopt;
    return ResourceData{le32(*data, 0), le32(*data, 4)};
  }
  return std::nullopt;
}

// The fixed file information of a VS_VERSIONINFO block: the block's length, the length of
// its value, its type, the key "VS_VERSION_INFO" in UTF-16 with its terminator, padding to
// 32 bits, then the VS_FIXEDFILEINFO.
std::optional<FixedFileVersion> fixedInfoOf(std::span<const uint8_t> block) {
  static constexpr char kKey[] = "VS_VERSION_INFO";  // with its terminator: 16 code units
  constexpr size_t keyAt = 6;
  constexpr size_t keyEnd = keyAt + sizeof kKey * 2;
  constexpr size_t valueAt = (keyEnd + 3) & ~size_t{3};

  if (block.size() < valueAt + kFixedInfoSize) return std::nullopt;
  const uint16_t length = le16(block, 0);
  const uint16_t valueLength = le16(block, 2);
  if (length > block.size() || length < valueAt + kFixedInfoSize) return std::nullopt;
  if (valueLength < kFixedInfoSize) return std::nullopt;
  for (size_t i = 0; i < sizeof kKey; ++i) {
    if (le16(block, keyAt + 2 * i) != static_cast<uint16_t>(kKey[i])) return std::nullopt;
  }
  if (le32(block, valueAt) != kFixedInfoSignature) return std::nullopt;
  // After the signature and the structure version: dwFileVersionMS and dwFileVersionLS. The
  // product version that follows is not what the installed version means.
  return FixedFileVersion{le32(block, valueAt + 8), le32(block, valueAt + 12)};
}

std::optional<FixedFileVersion> readFrom(ByteSource& source) {
  const auto image = readLayout(source);
  if (!image) return std::nullopt;
  const auto resource = findVersionResource(source, *image);
  if (!resource) return std::nullopt;
  // The whole resource must lie in the file, though only its first 64 KiB can matter.
  const auto offset = fileOffsetOf(*image, resource->rva, resource->size);
  if (!offset || !fitsWithin(*offset, resource->size, source.size())) return std::nullopt;
  const auto block = source.read(*offset, std::min<uint64_t>(resource->size, kMaxVersionBlock));
  if (!block) return std::nullopt;
  return fixedInfoOf(*block);
}

}  // namespace

std::optional<FixedFileVersion> readPeFileVersion(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  FileSource source(path, size);
  if (!source.isOpen()) return std::nullopt;
  return readFrom(source);
}

std::optional<FixedFileVersion> parseFixedFileVersion(std::span<const uint8_t> image) {
  MemorySource source(image);
  return readFrom(source);
}

std::string formatFileVersion(const FixedFileVersion& version) {
  return std::to_string(version.mostSignificant >> 16) + "." +
         std::to_string(version.mostSignificant & 0xFFFF) + "." +
         std::to_string(version.leastSignificant >> 16) + "." +
         std::to_string(version.leastSignificant & 0xFFFF);
}

}  // namespace platform
