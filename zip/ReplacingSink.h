// Where a decoded entry goes when a file stands at its target: the content is compared with
// that file while the two agree, and written to a part file only from the first difference on
// (the part file then gets the agreeing start from the old file first). An update that
// installs a file unchanged so writes nothing for it, and the result is the same as writing
// it: the old file, whole, was the new one already. The old file is only ever read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <vector>

#include "zip/EntryReader.h"
#include "zip/PartFile.h"

namespace zip {

class ReplacingSink final : public OutputSink {
public:
  // When the target cannot be read, everything goes to a part file, as without this sink.
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

  // After the last write. Then unchanged() tells whether the target already holds exactly the
  // content; otherwise part() holds it, closed, ready to replace the target.
  void finish();
  bool unchanged() const { return unchanged_; }
  PartFile* part() const { return part_.get(); }

private:
  void divergeHere();

  std::filesystem::path target_;
  std::ifstream old_;       // the target, read alongside while the content agrees
  uint64_t agreed_ = 0;     // bytes of content that matched the target's start
  std::vector<char> read_;  // what was read of the target for one comparison
  std::unique_ptr<PartFile> part_;
  bool unchanged_ = false;
};

}  // namespace zip
