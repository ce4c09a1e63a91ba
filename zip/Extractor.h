// Extraction of an opened archive over a base directory, entry by entry in central directory
// order, with stored paths and directory creation.
//
// What an extraction guarantees:
// - A name that would lead outside the base directory (absolute, drive, colon, doubled
//   separator, ".." above the base) is refused, and so is a path through a symbolic link (on
//   Windows any reparse point), wherever it leads. Folders are opened one level at a time from
//   the base's open folder and written relative to those (BaseDirectory), so replacing a
//   folder by a link meanwhile leads nothing elsewhere. A target that is a link is replaced by
//   the new file: nothing is ever written through it.
// - The program is installed whole: in a first phase every file entry is decoded into a part
//   file beside its target and nothing is replaced; only once all are decoded does a second
//   phase rename them over their targets (started in archive order, a few side by side: no two
//   share a target or a path, so the order they land in changes nothing). A failed entry leaves its
//   target as it was and the others are installed; but when the system refuses to write (a full
//   disk, an I/O error) or a directory that is to hold a target cannot be made, the first phase
//   ends there, every part file goes and nothing is replaced. Neither is anything written when the
//   files to be written (those already in place left out) would leave less free space than
//   the reserve on the base's file system.
// - With a journal (ExtractOptions::journal), a kill at any moment leaves what a start can
//   complete or clear (RollForward.h): the part files are on disk before the journal that
//   lists the renames is, and that is on disk before the first rename.
// - An archive that names one file twice, or a folder through a file it also holds, is
//   installed in steps, one at each such name: each step is whole, as above, and the result is
//   that of one entry after another.
//   The new file keeps the permission bits of the regular file it replaces, never its
//   set-user-ID, set-group-ID or sticky bits (on Windows its attributes).
// - A target that is read-only or that the program could not open for writing now (held by
//   another opener) is neither replaced nor touched, even when it holds the entry's content.
// - A target that already holds the entry's content (ReplacingSink) is left in place, with the
//   entry's time and attributes set through the handle it was read by; only a regular file
//   that is no link and has no other name can be so.
// - A failed entry is skipped and the extraction goes on, except when a directory that is to
//   hold a target cannot be created: that ends the extraction.
//
// Entries are decoded side by side on a few threads, each into its own part file, while the calling
// thread names the targets and creates directories, folder entries included, in central directory
// order; an entry whose path runs through (or ends at) the target of an entry still being decoded
// waits for it, names compared as the system compares them (platform::fileNameKey). So what an
// extraction leaves, and the report, are those of one entry after another; only the moments at
// which different files are replaced may come in another order. Peak memory stays within a fixed
// budget: entries whose decoders would exceed it together are not decoded at the same time.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "zip/BaseDirectory.h"
#include "zip/DecodePool.h"
#include "zip/EntryReader.h"
#include "zip/InstallJournal.h"
#include "zip/JournalFile.h"
#include "zip/PartFile.h"
#include "zip/ZipArchive.h"

namespace zip {

// How far an extraction is, told on the calling thread: in the first phase after each entry
// is finished (decoded, skipped or found in place), `done` of `total` entries; in the second
// once its journal is written (done 0) and after each rename, `done` of `total` part files.
enum class ExtractionPhase { Decoding, Installing };
using ExtractionProgress = std::function<void(ExtractionPhase phase, size_t done, size_t total)>;

struct ExtractOptions {
  PasswordSettings password;
  std::string mask = "*";
  // File entries that declare more than this are skipped (beyond what the archive declares,
  // nothing is ever written anyway).
  uint64_t maxEntrySize = UINT64_MAX;
  // Decoding threads: 0 for one per processor (at most 4), 1 to do everything in the calling
  // thread.
  unsigned threads = 0;
  // The install journal (JournalFile.h), whose folder must exist: written while the
  // extraction runs, removed at its end. Empty: none, and nothing is flushed to the disk.
  std::filesystem::path journal{};
  // What the files to be written must leave free on the base's file system.
  uint64_t freeSpaceReserve = 64u << 20;
  ExtractionProgress progress{};
};

struct SkippedEntry {
  std::string name;
  std::string reason;
};

struct ExtractionReport {
  size_t filesWritten = 0;
  size_t directoriesWritten = 0;
  std::vector<SkippedEntry> skipped;  // in central directory order, with the reason
  // Why the extraction ended early (too little free space, a write the system refused, a
  // directory that could not be created, the journal), how many entries after the one that
  // ended it were not tried, and how many files were decoded and then removed unplaced.
  std::optional<std::string> endedBy;
  size_t entriesNotReached = 0;
  size_t filesAbandoned = 0;
};

class BackgroundFlush;

class Extractor {
public:
  // Throws ZipError when the base directory does not exist.
  Extractor(ZipArchive& archive, const std::filesystem::path& baseDirectory,
            ExtractOptions options);
  ~Extractor();

  // Extracts every entry the mask selects. Raises no error for a single entry; what happened
  // to each is in the report.
  ExtractionReport run();

private:
  struct Pending;
  // A file decoded whole into its part file, waiting for the second phase.
  struct Staged {
    size_t index = 0;
    const ZipEntry* entry = nullptr;
    std::vector<std::string> elements;
    std::string part;
    FileStamp stamp;
  };

  std::optional<std::string> checkFreeSpace();
  void writeJournal(InstallJournal::Phase phase);
  Pending prepare(const ZipEntry& entry, size_t index);
  void prepareFile(Pending& item);
  void enqueue(Pending item);
  void finishOldest();
  void finishAll();
  void finish(Pending& item);
  void makeDirectory(const Pending& item);
  bool runsThroughPendingFile(const std::vector<std::string>& elements) const;
  void installStaged();
  void discardStaged();
  void skip(size_t index, const ZipEntry& entry, std::string reason);
  void removeLeftoversOnce(const Pending& item);

  ZipArchive& archive_;
  BaseDirectory base_;
  ExtractOptions options_;
  ExtractionReport report_;
  std::deque<Pending> pending_;  // entries begun and not finished, in order
  std::vector<Staged> staged_;   // in archive order
  std::vector<std::pair<size_t, SkippedEntry>> skipped_;  // with their entries' indexes
  std::optional<std::string> writeRefused_;  // a write the system refused, which ends the run
  std::unique_ptr<JournalFile> journal_;
  std::vector<std::string> journalTargets_;  // the files the run may write, for the journal
  // Their targets' keys (platform::fileNameKey), and the staged ones', to find paths that run
  // through one.
  std::multiset<std::string> pendingFiles_;
  std::multiset<std::string> stagedFiles_;
  uint64_t pendingMemory_ = 0;
  std::set<std::string> cleanedDirectories_;          // keys of the folders cleaned of leftovers
  std::unordered_set<std::string> archiveTargets_;    // keys of every entry's target
  std::unique_ptr<BackgroundFlush> backgroundFlush_;  // with a journal, while the run lasts
  // Last: destroyed first, so that no decoding job outlives what it writes to.
  std::unique_ptr<DecodePool> pool_;
};

}  // namespace zip
