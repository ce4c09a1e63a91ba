// A folder held open, and what is done to the names in it relative to that open folder, so
// that what was checked is what is acted on even when someone renames a folder of the path or
// puts a symbolic link in its place meanwhile. Nothing here follows a symbolic link at a name.
//
// POSIX: the folder is a descriptor, and every call is relative to it (openat with O_NOFOLLOW,
// mkdirat, fstatat with AT_SYMLINK_NOFOLLOW, renameat, linkat, unlinkat).
// Windows: the documented API has no calls relative to a folder handle, so there names are
// joined to the folder's path; what keeps that path leading to the same folders is that each
// folder opened here, and every folder above it up to the one opened by path, stays open
// (FILE_FLAG_BACKUP_SEMANTICS, without FILE_SHARE_DELETE) for as long as a copy of its
// Directory lives: no one can rename, remove or replace it meanwhile. A reparse point (a
// symbolic link, a junction) is never opened as a folder.
//
// Copies share one open folder, closed when the last goes (on POSIX one descriptor each).
// Every call may be made from several threads at once. Names are single UTF-8 file names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FileStatus.h"
#include "platform/HeldFile.h"

namespace platform {

class Directory {
public:
  // Opens the folder at path, following links in the path itself (the caller has taken it as
  // it means it). Throws std::system_error when it cannot be opened or is no folder.
  static Directory open(const std::filesystem::path& path);

  // The path it was opened by, joined with the names below it: for messages, and on Windows
  // for the system.
  const std::filesystem::path& path() const;

  // Opens the folder `name` in this one, never through a link. On failure returns nothing and
  // sets error: std::errc::no_such_file_or_directory when nothing is there,
  // std::errc::too_many_symbolic_link_levels when a link (on Windows any reparse point) is,
  // std::errc::not_a_directory when something else is, or what the system said.
  std::optional<Directory> openFolder(const std::string& name, std::error_code& error) const;
  // Creates the folder `name`; false with error when the system refuses (std::errc::file_exists
  // when something is there).
  bool makeFolder(const std::string& name, std::error_code& error) const;
  // As platform::applyAttributes, to this folder itself.
  bool applyAttributes(uint32_t attributes) const;

  // What is at `name`, not following a link. Throws std::system_error when the system cannot
  // say (a missing name is Kind::Missing, not an error).
  FileStatus status(const std::string& name) const;
  // The names in this folder, "." and ".." left out; empty when it cannot be read.
  std::vector<std::string> names() const;

  // A new held file at `name`, as HeldFile::createNew. Throws std::system_error
  // (std::errc::file_exists when the name is taken).
  HeldFile createHeldFile(const std::string& name) const;

  // The existing file at `name`, held: opened for reading with the access replacing it would
  // need (write, and on Windows delete), never through a link, and locked against the other
  // openers of this program. Held::NotHere when nothing can be so opened there (nothing, a
  // link, a folder); Held::ByAnother when another opener holds it or the system refuses write
  // access (a running program, a file we may not write). What was opened is for the caller to
  // tell from its status(): the name may have changed since the caller looked.
  enum class Held { Yes, NotHere, ByAnother };
  std::optional<HeldFile> openHeldFile(const std::string& name, Held& outcome) const;

  // Whether the regular file at `name` could be opened for writing now (as
  // ExclusiveFile::canOpenForWriting), without following a link: true for a link (replacing it
  // opens nothing) and for a missing name.
  bool canOpenForWriting(const std::string& name) const;

  // Renames `from` to `to` in this folder in one step, replacing whatever file or link is at
  // `to` (never what a link leads to). Throws std::system_error.
  void rename(const std::string& from, const std::string& to) const;
  // What survives a power loss. syncFileSystem: every file written on this folder's file
  // system reaches the disk (Linux: syncfs); nothing on Windows, where the files are flushed
  // one by one (HeldFile::flushIfFileByFile). flushNames: the names created, renamed and
  // removed in this folder reach the disk (POSIX: fsync on the folder); nothing on Windows,
  // whose renames are written through (rename). False when the system refused.
  bool syncFileSystem() const;
  bool flushNames() const;
  // The bytes this program may still write on the folder's file system (statvfs's available
  // blocks, GetDiskFreeSpaceExW's bytes for the caller); nothing when the system cannot say.
  std::optional<uint64_t> freeSpace() const;

  // Removes the file or link at `name`; false when the system refused.
  bool remove(const std::string& name) const;
  // Removes the regular file at `name` when no one holds it (a leftover of a killed writer);
  // leaves a held one, and anything else, alone. True when it removed the file.
  bool removeIfUnheld(const std::string& name) const;

private:
  struct State;  // one per system
  explicit Directory(std::shared_ptr<const State> state) : state_(std::move(state)) {}
  std::shared_ptr<const State> state_;
};

}  // namespace platform
