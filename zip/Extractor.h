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
// - A file entry is decoded into a part file beside its target, which replaces the target
//   only when it is whole and its CRC-32 matches; a failed entry leaves the target as it was.
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
// Entries are decoded side by side on a few threads, each into its own part file that the
// same thread then puts in place, while the calling thread names the targets and creates
// directories, folder entries included, in central directory order; an entry whose path runs
// through (or ends at) the target of an entry still being decoded waits for it, names compared
// as the system compares them (platform::fileNameKey). So what an extraction leaves, and the
// report, are those of one entry after another; only the moments at which different files are
// replaced may come in another order.
// Peak memory stays within a fixed budget: entries whose decoders would exceed it together
// are not decoded at the same time.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "zip/BaseDirectory.h"
#include "zip/DecodePool.h"
#include "zip/EntryReader.h"
#include "zip/PartFile.h"
#include "zip/ZipArchive.h"

namespace zip {

struct ExtractOptions {
  PasswordSettings password;
  std::string mask = "*";
  // File entries that declare more than this are skipped (beyond what the archive declares,
  // nothing is ever written anyway).
  uint64_t maxEntrySize = UINT64_MAX;
  // Decoding threads: 0 for one per processor (at most 4), 1 to do everything in the calling
  // thread.
  unsigned threads = 0;
};

struct SkippedEntry {
  std::string name;
  std::string reason;
};

struct ExtractionReport {
  size_t filesWritten = 0;
  size_t directoriesWritten = 0;
  std::vector<SkippedEntry> skipped;  // in central directory order, with the reason
  // Why the extraction ended early (a directory could not be created), and how many entries
  // after the one that ended it were not tried.
  std::optional<std::string> endedBy;
  size_t entriesNotReached = 0;
};

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

  Pending prepare(const ZipEntry& entry);
  void prepareFile(Pending& item);
  void enqueue(Pending item);
  void finishOldest();
  void finishAll();
  void finish(Pending& item);
  void makeDirectory(const Pending& item);
  bool runsThroughPendingFile(const std::vector<std::string>& elements) const;
  void removeLeftoversOnce(const Pending& item);

  ZipArchive& archive_;
  BaseDirectory base_;
  ExtractOptions options_;
  ExtractionReport report_;
  std::deque<Pending> pending_;  // entries begun and not finished, in order
  // Their targets' keys (platform::fileNameKey), to find paths that run through one.
  std::multiset<std::string> pendingFiles_;
  uint64_t pendingMemory_ = 0;
  std::set<std::string> cleanedDirectories_;        // keys of the folders cleaned of leftovers
  std::unordered_set<std::string> archiveTargets_;  // keys of every entry's target
  // Last: destroyed first, so that no decoding job outlives what it writes to.
  std::unique_ptr<DecodePool> pool_;
};

}  // namespace zip
