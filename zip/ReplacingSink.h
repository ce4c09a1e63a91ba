// Where a decoded entry goes when it is to replace its target: a part file, unless the target
// already holds the entry's content, in which case nothing is decoded or written for it. The
// result is the same as writing it: the old file, whole, was the new one already. The old file
// is only ever read, so a kill at any point still leaves it old or new.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/Directory.h"
#include "platform/FileStatus.h"
#include "platform/HeldFile.h"
#include "zip/EntryReader.h"
#include "zip/PartFile.h"

namespace zip {

class ReplacingSink final : public OutputSink {
public:
  // The target is `target` in folder (which must outlive the sink); `found` is what preparing
  // the entry found there.
  ReplacingSink(const platform::Directory& folder, std::string target,
                const platform::FileStatus& found);

  // Before any write: whether the target already holds the entry, found without decoding it.
  // Then unchanged() is true, the file stays held until keep(), and neither write() nor
  // finish() is called.
  //
  // Only a regular file that is no link and has no other name (a hard link would share
  // whatever is set on it) can be unchanged, and only one with the entry's size and (within its
  // two seconds) its time: what preparing found decides that without opening anything, so a
  // file that changed since, as most of an older version's, is not even opened. A file that
  // passes is opened without following a link, held, and judged by what that open file is,
  // never by what its name leads to. A file another opener holds is neither replaced nor kept:
  // holdsAlready throws ZipError, as the rename would be refused. Otherwise its CRC-32 is
  // compared with the entry's: an update installed over the same version so costs a read of
  // each file and no decoding, decryption or writing. An unchanged file whose time differs is
  // written again, which gives the same result. A file that differs from the entry yet agrees
  // in size, time and CRC-32 would be left as it is: one chance in four billion for a file
  // that changed by accident and kept its time.
  bool holdsAlready(uint64_t size, uint32_t crc32, uint16_t dosDate, uint16_t dosTime);

  // Whether what `status` shows may hold the entry already, as far as a look can tell (see
  // holdsAlready): a regular file with one name, of the entry's size and time.
  static bool mayHoldAlready(const platform::FileStatus& status, uint64_t size, uint16_t dosDate,
                             uint16_t dosTime);

  // Throws ZipError when the part file cannot be written (WriteRefused when the system
  // refused: then writeRefused() is true).
  void write(std::span<const std::byte> data) override;

  // After the last write: the part file is staged (PartFile::stage) with the stamp's time,
  // ready to replace the target; part() names it. Throws as write() does.
  void finish(const FileStamp& stamp);
  bool writeRefused() const { return writeRefused_; }
  // After a failure: the part file, if any, is removed and let go.
  void discard() noexcept {
    part_.reset();
    existing_.reset();
  }
  bool unchanged() const { return unchanged_; }
  PartFile* part() const { return part_.get(); }
  // For an unchanged file: gives it the stamp's time and attributes through the handle it was
  // read by, and lets it go. Failing to set them is ignored: the content is in place.
  void keep(const FileStamp& stamp);

private:
  const platform::Directory& folder_;
  std::string target_;
  platform::FileStatus found_;
  std::unique_ptr<PartFile> part_;
  std::optional<platform::HeldFile> existing_;  // an unchanged file, held
  bool unchanged_ = false;
  bool writeRefused_ = false;
};

}  // namespace zip
