// What a start does with the install journal a killed extraction left (JournalFile.h), before
// anything reads the installed program: an install that was renaming is completed (rolled
// forward), one that was still decoding is cleared, so that the program is either the old
// version or the new one, whole, and no part file stays.
//
// The journal is not trusted: every target is confined to the base as an archive's names are
// (TargetPath.h), its folders are opened from the base one level at a time and never through
// a link (BaseDirectory), and a record is completed only when its part file has the exact name
// a part file of that target gets (PartFile::isPartFileOf), is still there, and the target may
// be replaced (neither read-only nor held). A record that fails any of that is left as it is;
// the others are completed. Nothing outside the base is ever touched.
#pragma once

#include <cstddef>
#include <filesystem>

namespace zip {

struct RollForwardReport {
  bool found = false;          // a journal was there and no one held it
  bool heldByAnother = false;  // an extraction running now holds it: left alone
  bool damaged = false;        // its text did not read whole (InstallJournal.h)
  bool renaming = false;       // it was written after decoding, before the renames
  size_t installed = 0;        // part files put in their targets' places now
  size_t left = 0;             // records that could not be completed, and are left as they are
};

// Completes or clears the journal at journalPath over baseDirectory, then removes it, with
// every unheld part file in the folders it names (but those the journal names as targets).
// Raises nothing: a start goes on whatever it finds.
RollForwardReport rollForwardInstall(const std::filesystem::path& journalPath,
                                     const std::filesystem::path& baseDirectory) noexcept;

}  // namespace zip
