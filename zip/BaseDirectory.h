// The rules that keep an extraction's writes inside its base directory, on disk: the base
// opened once by its canonical path, the folders of a target opened (and made where missing)
// one level at a time from the base's open folder, never through a symbolic link (on Windows
// any reparse point), wherever it would lead; and whether what stands at a target may be
// replaced. TargetPath.h makes the names. Everything after the base is done relative to open
// folders (platform::Directory), so a folder renamed or replaced by a link after it was
// checked changes nothing of where the extraction writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Directory.h"
#include "platform/FileStatus.h"
#include "zip/ZipError.h"

namespace zip {

// A failure that ends the whole extraction rather than one entry: a directory that is to hold
// targets cannot be made, so nothing after it could be placed where it belongs either.
class ExtractionEnded : public ZipError {
public:
  using ZipError::ZipError;
};

class BaseDirectory {
public:
  // An open folder below the base, shared by the entries that use it.
  using Folder = std::shared_ptr<const platform::Directory>;

  // Throws ZipError when the directory does not exist or cannot be opened.
  explicit BaseDirectory(const std::filesystem::path& directory);

  const std::filesystem::path& path() const { return base_->path(); }

  // The folder of the first `count` elements (the base for none), each level opened from the
  // one above without following a link and created where missing. Throws ZipError, for the
  // entry alone, when one of them is a symbolic link (nothing is created past it); throws
  // ExtractionEnded when a file stands where a folder is needed or a folder cannot be made or
  // opened.
  //
  // Descriptors stay bounded: a folder stays open while a caller holds it, plus the few last
  // opened; one that no one holds any more is opened again when it is needed again. Names are
  // compared as the system compares them (platform::fileNameKey). Calling thread only.
  Folder folder(const std::vector<std::string>& elements, size_t count);
  // The same folder when it exists, made nowhere: null when a level is missing, is a link or
  // anything but a folder, or cannot be opened. Never throws for what is on disk.
  Folder existingFolder(const std::vector<std::string>& elements, size_t count);

  // The bytes that may still be written on the base's file system (platform::Directory).
  std::optional<uint64_t> freeSpace() const { return base_->freeSpace(); }
  // As platform::Directory::syncFileSystem, for the base's file system.
  bool syncFileSystem() const { return base_->syncFileSystem(); }

  // Throws ZipError, with the reason, unless what the status shows may be replaced: nothing, a
  // link (the rename replaces the link itself), or a regular file that is not read-only.
  static void checkReplaceable(const platform::FileStatus& status);
  // The last look before a rename: the same for what is at name in folder now, and a regular
  // file must not be held by another opener either. Returns that status.
  static platform::FileStatus checkReplaceable(const platform::Directory& folder,
                                               const std::string& name);

private:
  Folder walk(const std::vector<std::string>& elements, size_t count, bool make);
  Folder openOrMake(const platform::Directory& parent, const std::string& name, bool make) const;
  void remember(const Folder& folder);

  Folder base_;
  // Folders opened so far by their key; those that no one holds have expired.
  std::unordered_map<std::string, std::weak_ptr<const platform::Directory>> opened_;
  std::deque<Folder> recent_;  // the last few opened, held so that a run does not reopen them
};

}  // namespace zip
