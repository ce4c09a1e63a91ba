// Extraction of an opened archive over a base directory, entry by entry in central directory
// order, with stored paths and directory creation.
//
// What an extraction guarantees:
// - A name that would lead outside the base directory (absolute, drive, colon, doubled
//   separator, ".." above the base, or through a symbolic link that leads outside) is refused.
// - A file entry is decoded into a part file beside its target, which replaces the target
//   only when it is whole and its CRC-32 matches; a failed entry leaves the target as it was.
// - A target that is read-only or that the program could not open for writing now (held by
//   another opener) is not replaced.
// - A failed entry is skipped and the extraction goes on, except when a directory that is to
//   hold a target cannot be created: that ends the extraction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "zip/EntryReader.h"
#include "zip/ZipArchive.h"

namespace zip {

struct ExtractOptions {
  PasswordSettings password;
  std::string mask = "*";
  // File entries that declare more than this are skipped (beyond what the archive declares,
  // nothing is ever written anyway).
  uint64_t maxEntrySize = UINT64_MAX;
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

  // Extracts every entry the mask selects. Raises no error for a single entry; what happened
  // to each is in the report.
  ExtractionReport run();

private:
  enum class Walk { Ready, LeadsOutside };

  void extractEntry(const ZipEntry& entry, const std::vector<std::string>& elements);
  void writeDirectory(const ZipEntry& entry, const std::vector<std::string>& elements);
  void writeFile(const ZipEntry& entry, const std::filesystem::path& target);
  Walk makeDirectories(const std::vector<std::string>& elements, size_t count);
  bool isInsideBase(const std::filesystem::path& canonicalPath) const;
  void checkNotOutside(const std::filesystem::path& path) const;

  ZipArchive& archive_;
  std::filesystem::path base_;  // canonical
  ExtractOptions options_;
  DecodeBuffers buffers_;
  ExtractionReport report_;
};

}  // namespace zip
