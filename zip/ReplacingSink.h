// Where a decoded entry goes when it is to replace its target: a part file, unless the target
// already holds the entry's content, in which case nothing is decoded or written for it. The
// result is the same as writing it: the old file, whole, was the new one already. The old file
// is only ever read, so a kill at any point still leaves it old or new.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "zip/EntryReader.h"
#include "zip/PartFile.h"

namespace zip {

class ReplacingSink final : public OutputSink {
public:
  explicit ReplacingSink(std::filesystem::path target);

  // Before any write: whether the target already holds the entry, found without decoding it.
  // Then unchanged() is true, and neither write() nor finish() is called. Only a file with the
  // entry's size and (within its two seconds) its time is read, to compare its CRC-32 with the
  // entry's: an update installed over the same version so costs a read of each file and no
  // decoding, decryption or writing, while a file that changed since, as most of an older
  // version's, is not read at all. An unchanged file whose time differs is written again, which
  // gives the same result. A file that differs from the entry yet agrees in size, time and
  // CRC-32 would be left as it is: one chance in four billion for a file that changed by
  // accident and kept its time.
  bool holdsAlready(uint64_t size, uint32_t crc32, uint16_t dosDate, uint16_t dosTime);

  // Throws ZipError when the part file cannot be written.
  void write(std::span<const std::byte> data) override;

  // After the last write: part() then holds the content, closed, ready to replace the target.
  void finish();
  // After a failure: the part file, if any, is removed and let go.
  void discard() noexcept { part_.reset(); }
  bool unchanged() const { return unchanged_; }
  PartFile* part() const { return part_.get(); }

private:
  std::filesystem::path target_;
  std::unique_ptr<PartFile> part_;
  bool unchanged_ = false;
};

}  // namespace zip
