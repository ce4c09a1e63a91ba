// The install journal on disk (InstallJournal.h says what it holds): one file in a folder of
// the caller's (the updater's Update folder), written whole under another name (the journal's
// name and ".new") and renamed into place, so that a kill while it is written leaves the one
// before. The extraction that writes it holds it (platform::HeldFile) for as long as it lives,
// so that a start finds a journal no one holds only after a kill, and leaves one that an
// extraction running beside is using alone.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/Directory.h"
#include "platform/HeldFile.h"
#include "zip/InstallJournal.h"

namespace zip {

class JournalFile {
public:
  // The journal at path, whose folder must exist. Writes nothing yet. Throws ZipError when the
  // folder cannot be opened.
  explicit JournalFile(const std::filesystem::path& path);

  // Replaces the journal by this one. durable: its content and its name are on disk when this
  // returns (a power loss keeps it). Throws ZipError; the journal before is then still there.
  void write(const InstallJournal& journal, bool durable);
  // Removes the journal (the end of an install). Failures are ignored: the journal then names
  // only renames that are done, and the next start completes nothing but clears it.
  void remove() noexcept;

  // What a killed run left at path: its text (at most maxBytes read), unless another opener
  // holds it (heldByAnother) or nothing is there.
  static std::optional<std::string> readLeftover(const std::filesystem::path& path,
                                                 bool& heldByAnother);
  // Removes a journal no one holds, and its unfinished ".new". Failures are ignored.
  static void removeLeftover(const std::filesystem::path& path) noexcept;

  static constexpr size_t maxBytes = 256u << 20;

private:
  platform::Directory folder_;
  std::string name_;
  std::optional<platform::HeldFile> held_;
};

}  // namespace zip
