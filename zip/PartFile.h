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
#include "zip/ZipError.h"

namespace zip {

// What a file placed by an extraction is given besides its content.
struct FileStamp {
  uint16_t dosDate = 0;  // its last-write time, as platform::setLastWriteTimeFromDos takes it
  uint16_t dosTime = 0;
  uint32_t attributes = 0;        // as platform::applyAttributes takes them
  uint32_t executeBitsIfNew = 0;  // for a file that replaces none (HeldFile::addExecuteBits)
};

// The system refused to take what was decoded: a full disk, a quota, an I/O error. Unlike a
// fault of one entry this would meet every entry after it, and ends the extraction.
class WriteRefused : public ZipError {
public:
  using ZipError::ZipError;
};

class PartFile {
public:
  static constexpr std::string_view marker = ".quendral-part-";

  // Creates the file in folder beside target (a name in folder), which must outlive it.
  // Throws ZipError when it cannot be created, WriteRefused when that is for lack of space or
  // an I/O error.
  PartFile(const platform::Directory& folder, std::string target);
  // Removes the file unless it was staged.
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Throws WriteRefused when the system refuses (a full disk, say).
  void write(std::span<const std::byte> data);
  // Ends the writing; the file stays held.
  void close() { closed_ = true; }
  // Ends the writing for good, leaving the file whole beside its target for install(): gives it
  // the stamp's time (before any rename, so that the file never shows the moment it was
  // written), flushes it where the system flushes file by file (HeldFile::flushIfFileByFile)
  // and lets go of it, so that thousands of them need no descriptor until they are installed.
  // The file is then the caller's to install or remove; returns its name.
  std::string stage(const FileStamp& stamp);

  // Puts the staged part file `part` in folder in the place of `target` there: checked again
  // first at this last moment (BaseDirectory::checkReplaceable: a read-only or held target is
  // refused), then renamed over it so that it keeps what a regular file at target was
  // (platform::replaceFile: its permission bits; on Windows its attributes), and given the
  // stamp's attributes after the rename (a read-only file may not be renamed over another on
  // Windows), through its own handle; failing to set them is ignored. Throws ZipError; the
  // target is then as it was and the part file still there.
  static void install(const platform::Directory& folder, const std::string& part,
                      const std::string& target, const FileStamp& stamp);

  const std::string& name() const { return name_; }

  // Whether name has the exact form this class gives part files.
  static bool isPartFileName(std::string_view name);
  // Whether name has the exact form this class gives the part files of target.
  static bool isPartFileOf(std::string_view name, std::string_view target);
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
  bool staged_ = false;
};

}  // namespace zip
