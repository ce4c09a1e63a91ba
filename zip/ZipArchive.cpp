#include "zip/ZipArchive.h"

#include <algorithm>
#include <array>
#include <string>

#include "zip/ExtraField.h"
#include "zip/LittleEndian.h"
#include "zip/ZipError.h"

namespace zip {
namespace {

constexpr uint32_t endRecordSignature = 0x06054b50;
constexpr uint32_t zip64LocatorSignature = 0x07064b50;
constexpr uint32_t zip64EndRecordSignature = 0x06064b50;
constexpr uint32_t centralRecordSignature = 0x02014b50;
constexpr uint32_t localHeaderSignature = 0x04034b50;

constexpr size_t endRecordSize = 22;
constexpr size_t maxCommentSize = 0xFFFF;
constexpr size_t zip64LocatorSize = 20;
constexpr size_t zip64EndRecordSize = 56;
constexpr size_t centralRecordSize = 46;
constexpr size_t localHeaderSize = 30;

// Whether [offset, offset + length) lies within [0, limit), without overflow.
bool fitsWithin(uint64_t offset, uint64_t length, uint64_t limit) {
  return offset <= limit && length <= limit - offset;
}

// Sequential reads of the central directory through one fixed buffer, never past its end.
class BoundedReader {
public:
  BoundedReader(InputStream& stream, uint64_t offset, uint64_t length)
      : stream_(stream), position_(offset), remaining_(length) {}

  void read(void* out, size_t length) {
    if (length > remaining_ + (end_ - begin_)) {
      throw ZipError("the central directory ends inside a record");
    }
    auto* target = static_cast<char*>(out);
    while (length > 0) {
      if (begin_ == end_) refill();
      const size_t part = std::min(length, end_ - begin_);
      std::copy_n(buffer_.data() + begin_, part, target);
      begin_ += part;
      target += part;
      length -= part;
    }
  }

  std::string readString(size_t length) {
    std::string text(length, '\0');
    read(text.data(), length);
    return text;
  }

private:
  void refill() {
    const auto part = static_cast<size_t>(std::min<uint64_t>(remaining_, buffer_.size()));
    readExactlyAt(stream_, position_, buffer_.data(), part);
    position_ += part;
    remaining_ -= part;
    begin_ = 0;
    end_ = part;
  }

  InputStream& stream_;
  uint64_t position_;
  uint64_t remaining_;
  std::array<char, 64 * 1024> buffer_{};
  size_t begin_ = 0;
  size_t end_ = 0;
};

// Takes the 64-bit values a ZIP64 extra field holds for the saturated fields of a central
// record, in the order the application note gives.
void applyZip64Field(ZipEntry& entry, std::string_view extraField, bool diskSaturated) {
  const bool needUncompressed = entry.uncompressedSize == 0xFFFFFFFF;
  const bool needCompressed = entry.compressedSize == 0xFFFFFFFF;
  const bool needOffset = entry.localHeaderOffset == 0xFFFFFFFF;
  if (!needUncompressed && !needCompressed && !needOffset && !diskSaturated) return;

  const auto field = findExtraField(extraField, Zip64ExtendedInformation);
  std::string_view data = field.value_or(std::string_view());
  auto take64 = [&](uint64_t& value) {
    if (data.size() < 8) {
      entry.defect = "a ZIP64 value is missing";
      return;
    }
    value = readLe64(data.data());
    data.remove_prefix(8);
  };
  if (needUncompressed) take64(entry.uncompressedSize);
  if (needCompressed) take64(entry.compressedSize);
  if (needOffset) take64(entry.localHeaderOffset);
  if (diskSaturated && !entry.defect) {
    if (data.size() < 4 || readLe32(data.data()) != 0)
      entry.defect = "the entry is on another disk";
  }
}

}  // namespace

void readExactlyAt(InputStream& stream, uint64_t offset, void* buffer, size_t length) {
  auto* target = static_cast<char*>(buffer);
  while (length > 0) {
    const size_t count = stream.readAt(offset, target, length);
    if (count == 0) throw ZipError("the archive ends unexpectedly");
    target += count;
    offset += count;
    length -= count;
  }
}

struct ZipArchive::EndRecord {
  uint64_t offset = 0;  // of the classic end record
  uint64_t entryCount = 0;
  uint64_t centralDirectorySize = 0;
  uint64_t centralDirectoryOffset = 0;
  uint64_t centralDirectoryLimit = 0;  // the first byte after where the central directory may end
};

ZipArchive::ZipArchive(InputStream& stream, const CodePages& pages) : stream_(stream) {
  streamSize_ = stream_.size();
  if (streamSize_ == 0) return;
  readCentralDirectory(findEndRecord(), pages);
}

ZipArchive::EndRecord ZipArchive::findEndRecord() {
  if (streamSize_ < endRecordSize) throw ZipError("not a ZIP archive: no end record");
  const auto tailSize =
      static_cast<size_t>(std::min<uint64_t>(streamSize_, endRecordSize + maxCommentSize));
  const uint64_t tailOffset = streamSize_ - tailSize;
  std::string tail(tailSize, '\0');
  readExactlyAt(stream_, tailOffset, tail.data(), tailSize);

  // Backwards from the end: the last record whose comment ends exactly at the end of the
  // stream wins; failing that, the last whose comment fits at all (some writers pad).
  std::optional<size_t> found;
  for (size_t at = tailSize - endRecordSize + 1; at-- > 0;) {
    if (readLe32(tail.data() + at) != endRecordSignature) continue;
    const size_t commentEnd = at + endRecordSize + readLe16(tail.data() + at + 20);
    if (commentEnd == tailSize) {
      found = at;
      break;
    }
    if (commentEnd < tailSize && !found) found = at;
  }
  if (!found) throw ZipError("not a ZIP archive: no end record");

  const char* record = tail.data() + *found;
  const uint16_t diskNumber = readLe16(record + 4);
  const uint16_t centralDirectoryDisk = readLe16(record + 6);
  const uint16_t entriesOnDisk = readLe16(record + 8);
  const uint16_t entriesTotal = readLe16(record + 10);
  EndRecord end;
  end.offset = tailOffset + *found;
  end.entryCount = entriesTotal;
  end.centralDirectorySize = readLe32(record + 12);
  end.centralDirectoryOffset = readLe32(record + 16);
  end.centralDirectoryLimit = end.offset;

  const bool saturated = diskNumber == 0xFFFF || centralDirectoryDisk == 0xFFFF ||
                         entriesOnDisk == 0xFFFF || entriesTotal == 0xFFFF ||
                         end.centralDirectorySize == 0xFFFFFFFF ||
                         end.centralDirectoryOffset == 0xFFFFFFFF;
  bool hasLocator = false;
  if (end.offset >= zip64LocatorSize) {
    std::array<char, 4> signature{};
    readExactlyAt(stream_, end.offset - zip64LocatorSize, signature.data(), signature.size());
    hasLocator = readLe32(signature.data()) == zip64LocatorSignature;
  }
  if (hasLocator) {
    readZip64EndRecord(end.offset - zip64LocatorSize, end);
  } else if (saturated) {
    throw ZipError("the ZIP64 end record locator is missing");
  } else if (diskNumber != 0 || centralDirectoryDisk != 0 || entriesOnDisk != entriesTotal) {
    throw ZipError("multi-volume archives are not supported");
  }
  return end;
}

void ZipArchive::readZip64EndRecord(uint64_t locatorOffset, EndRecord& end) {
  std::array<char, zip64LocatorSize> locator{};
  readExactlyAt(stream_, locatorOffset, locator.data(), locator.size());
  const uint32_t recordDisk = readLe32(locator.data() + 4);
  const uint64_t recordOffset = readLe64(locator.data() + 8);
  const uint32_t diskCount = readLe32(locator.data() + 16);
  if (recordDisk != 0 || diskCount > 1) throw ZipError("multi-volume archives are not supported");
  if (!fitsWithin(recordOffset, zip64EndRecordSize, locatorOffset)) {
    throw ZipError("the ZIP64 end record lies outside the archive");
  }
  std::array<char, zip64EndRecordSize> record{};
  readExactlyAt(stream_, recordOffset, record.data(), record.size());
  if (readLe32(record.data()) != zip64EndRecordSignature) {
    throw ZipError("the ZIP64 end record has a wrong signature");
  }
  const uint32_t diskNumber = readLe32(record.data() + 16);
  const uint32_t centralDirectoryDisk = readLe32(record.data() + 20);
  const uint64_t entriesOnDisk = readLe64(record.data() + 24);
  const uint64_t entriesTotal = readLe64(record.data() + 32);
  if (diskNumber != 0 || centralDirectoryDisk != 0 || entriesOnDisk != entriesTotal) {
    throw ZipError("multi-volume archives are not supported");
  }
  end.entryCount = entriesTotal;
  end.centralDirectorySize = readLe64(record.data() + 40);
  end.centralDirectoryOffset = readLe64(record.data() + 48);
  end.centralDirectoryLimit = recordOffset;
}

void ZipArchive::readCentralDirectory(const EndRecord& end, const CodePages& pages) {
  if (!fitsWithin(end.centralDirectoryOffset, end.centralDirectorySize,
                  end.centralDirectoryLimit)) {
    throw ZipError("the central directory lies outside the archive");
  }
  if (end.centralDirectorySize > maxCentralDirectorySize) {
    throw ZipError("the central directory is too large");
  }
  if (end.entryCount > end.centralDirectorySize / centralRecordSize) {
    throw ZipError("the central directory is too small for its entry count");
  }
  centralDirectoryOffset_ = end.centralDirectoryOffset;
  BoundedReader reader(stream_, end.centralDirectoryOffset, end.centralDirectorySize);
  entries_.reserve(static_cast<size_t>(end.entryCount));
  for (uint64_t index = 0; index < end.entryCount; ++index) {
    std::array<char, centralRecordSize> record{};
    reader.read(record.data(), record.size());
    if (readLe32(record.data()) != centralRecordSignature) {
      throw ZipError("a central directory record has a wrong signature");
    }
    ZipEntry entry;
    entry.hostSystem = static_cast<uint8_t>(readLe16(record.data() + 4) >> 8);
    entry.versionNeeded = readLe16(record.data() + 6);
    entry.flags = readLe16(record.data() + 8);
    entry.method = readLe16(record.data() + 10);
    entry.dosTime = readLe16(record.data() + 12);
    entry.dosDate = readLe16(record.data() + 14);
    entry.crc32 = readLe32(record.data() + 16);
    entry.compressedSize = readLe32(record.data() + 20);
    entry.uncompressedSize = readLe32(record.data() + 24);
    const uint16_t nameLength = readLe16(record.data() + 28);
    const uint16_t extraLength = readLe16(record.data() + 30);
    const uint16_t commentLength = readLe16(record.data() + 32);
    const uint16_t diskStart = readLe16(record.data() + 34);
    entry.externalAttributes = readLe32(record.data() + 38);
    entry.localHeaderOffset = readLe32(record.data() + 42);
    entry.rawName = reader.readString(nameLength);
    const std::string extra = reader.readString(extraLength);
    reader.readString(commentLength);

    applyZip64Field(entry, extra, diskStart == 0xFFFF);
    if (!entry.defect && diskStart != 0 && diskStart != 0xFFFF) {
      entry.defect = "the entry is on another disk";
    }
    if (!entry.defect &&
        !fitsWithin(entry.localHeaderOffset, localHeaderSize, centralDirectoryOffset_)) {
      entry.defect = "the local header lies outside the archive";
    }
    entry.name = decodeEntryName(entry.rawName, entry.flags, entry.hostSystem, extra, pages);
    if (!entry.defect) sortedLocalOffsets_.push_back(entry.localHeaderOffset);
    entries_.push_back(std::move(entry));
  }
  std::sort(sortedLocalOffsets_.begin(), sortedLocalOffsets_.end());
}

void ZipArchive::readAt(uint64_t offset, void* buffer, size_t length) {
  std::lock_guard lock(streamMutex_);
  readExactlyAt(stream_, offset, buffer, length);
}

LocalHeader ZipArchive::readLocalHeader(const ZipEntry& entry) {
  if (entry.defect) throw ZipError(*entry.defect);
  std::array<char, localHeaderSize> header{};
  readAt(entry.localHeaderOffset, header.data(), header.size());
  if (readLe32(header.data()) != localHeaderSignature) {
    throw ZipError("the local header has a wrong signature");
  }
  LocalHeader local;
  local.flags = readLe16(header.data() + 6);
  local.dosTime = readLe16(header.data() + 10);
  local.dataOffset = entry.localHeaderOffset + localHeaderSize + readLe16(header.data() + 26) +
                     readLe16(header.data() + 28);

  // The data must end before the next local header and the central directory: overlapping
  // entries would let a small archive declare far more data than it holds.
  const auto [first, last] = std::equal_range(sortedLocalOffsets_.begin(),
                                              sortedLocalOffsets_.end(), entry.localHeaderOffset);
  if (last - first > 1) throw ZipError("the entry shares its data with another entry");
  const uint64_t limit = last == sortedLocalOffsets_.end()
                             ? centralDirectoryOffset_
                             : std::min(*last, centralDirectoryOffset_);
  if (!fitsWithin(local.dataOffset, entry.compressedSize, limit)) {
    throw ZipError("the entry's data overlaps what follows it");
  }
  return local;
}

}  // namespace zip
