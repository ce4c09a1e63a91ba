// An opened ZIP archive: its end records and central directory, read once from the stream.
//
// Every offset and size taken from the archive is checked against the stream before it is
// used, with arithmetic that cannot overflow; a damaged archive is a ZipError, never a read
// out of bounds or an allocation sized by the archive beyond fixed caps.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "zip/EntryName.h"
#include "zip/InputStream.h"
#include "zip/ZipEntry.h"

namespace zip {

// What the local header in front of an entry's data tells.
struct LocalHeader {
  uint64_t dataOffset = 0;  // first byte of the (possibly encrypted) compressed data
  uint16_t flags = 0;
  uint16_t dosTime = 0;
};

class ZipArchive {
public:
  // A central directory beyond this is refused: its entry list is held in memory.
  static constexpr uint64_t maxCentralDirectorySize = 256u << 20;

  // Opens the archive: a stream of length 0 is an archive without entries. Throws ZipError
  // when no end record is found, a needed ZIP64 record is missing, the archive spans several
  // volumes, or a central directory record is damaged or has a wrong signature. The stream
  // stays the caller's and must outlive the archive.
  explicit ZipArchive(InputStream& stream, const CodePages& pages = systemCodePages());

  const std::vector<ZipEntry>& entries() const { return entries_; }

  // Reads exactly length bytes at offset, for one thread at a time: entries may be decoded on
  // several threads, and the stream is used by one of them at a time. Throws ZipError when the
  // stream ends first; passes on the stream's own errors.
  void readAt(uint64_t offset, void* buffer, size_t length);

  // Reads and checks the local header of an entry of this archive and locates its data, which
  // must lie before the central directory and overlap no other entry. Throws ZipError.
  LocalHeader readLocalHeader(const ZipEntry& entry);

private:
  struct EndRecord;
  EndRecord findEndRecord();
  void readZip64EndRecord(uint64_t locatorOffset, EndRecord& end);
  void readCentralDirectory(const EndRecord& end, const CodePages& pages);

  InputStream& stream_;
  std::mutex streamMutex_;
  uint64_t streamSize_ = 0;
  uint64_t centralDirectoryOffset_ = 0;
  std::vector<ZipEntry> entries_;
  std::vector<uint64_t> sortedLocalOffsets_;  // to find the entry that follows another
};

// Reads exactly length bytes at offset; throws ZipError when the stream ends first.
void readExactlyAt(InputStream& stream, uint64_t offset, void* buffer, size_t length);

}  // namespace zip
