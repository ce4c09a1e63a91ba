// The temporary file an entry is written to before it replaces its target, so that a target
// is only ever replaced whole. It lies beside the target, in the target's open folder (same
// folder, so the final rename stays on one file system, and no path is looked up again), and
// is created exclusively and held (platform::HeldFile) until it has replaced its target or is
// removed.
//
// Its name is ".<target's name>.quendral-part-" and 16 lowercase hexadecimal digits of a random
// number, or, for a target whose name is long, ".quendral-part-" and the digits alone. A
// leftover of a killed run is a file so named (exactly: isPartFileName) that no one holds, and
// removeLeftovers() takes those away, except a file whose name is the target of an entry of
// the archive being extracted: an archive may hold a file so named, and that one is the
// archive's, not a leftover.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Directory.h"
#include "platform/FileStatus.h"
#include "platform/HeldFile.h"

namespace zip {

// What a file placed by an extraction is given besides its content.
struct FileStamp {
  uint16_t dosDate = 0;  // its last-write time, as platform::setLastWriteTimeFromDos takes it
  uint16_t dosTime = 0;
  uint32_t attributes = 0;        // as platform::applyAttributes takes them
  uint32_t executeBitsIfNew = 0;  // for a file that replaces none (HeldFile::addExecuteBits)
};

class PartFile {
public:
  static constexpr std::string_view marker = ".quendral-part-";

  // Creates the file in folder beside target (a name in folder), which must outlive it.
  // Throws ZipError when it cannot be created.
  PartFile(const platform::Directory& folder, std::string target);
  // Removes the file unless it has replaced its target.
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Throws ZipError when the system refuses (a full disk, say).
  void write(std::span<const std::byte> data);
  // Ends the writing; the file stays held.
  void close() { closed_ = true; }
  // Closes the file if need be and puts it in the target's place (platform::replaceFile), so
  // that it keeps what a regular file at target was (`replaced`, the caller's last look: its
  // permission bits; on Windows its attributes); it is given the stamp's time before the
  // rename and its attributes after, through its own handle, and failing to set them is
  // ignored (the content is in place). Throws ZipError; the target is then as it was.
  void replaceTarget(const platform::FileStatus& replaced, const FileStamp& stamp);

  const std::string& name() const { return name_; }

  // Whether name has the exact form this class gives part files.
  static bool isPartFileName(std::string_view name);
  // Removes the part files in folder that no one holds: what killed extractions left. Part
  // files being written by anyone stay, and so do those for which isTarget(name) says that an
  // entry of the archive being extracted is to be written there. Failures are ignored.
  static void removeLeftovers(const platform::Directory& folder,
                              const std::function<bool(const std::string&)>& isTarget);

private:
  const platform::Directory& folder_;
  std::string target_;
  std::string name_;
  platform::HeldFile held_;
  bool closed_ = false;
  bool renamed_ = false;
};

}  // namespace zip
