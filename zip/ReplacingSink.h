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

  // Before any write: whether the target already has the entry's size and CRC-32, found by
  // reading it alone, without decoding the entry. Then unchanged() is true, and neither
  // write() nor finish() is called. An update installed over the same version so costs a read
  // of each file and no decoding, decryption or writing. A file that differs from the entry
  // yet agrees in both size and CRC-32 would be left as it is: for a file of the same size that
  // changed by accident, one chance in four billion.
  bool holdsAlready(uint64_t size, uint32_t crc32);

  // Throws ZipError when the part file cannot be written.
  void write(std::span<const std::byte> data) override;

  // After the last write: part() then holds the content, closed, ready to replace the target.
  void finish();
  bool unchanged() const { return unchanged_; }
  PartFile* part() const { return part_.get(); }

private:
  std::filesystem::path target_;
  std::unique_ptr<PartFile> part_;
  bool unchanged_ = false;
};

}  // namespace zip
