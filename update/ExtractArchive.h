// The extraction of a downloaded update archive over the updater's directory, with the fixed
// settings of every update: the archive password, ZIP forced, directories created, stored
// paths restored, every entry ("*"), existing files overwritten without asking.
#pragma once

#include <cstddef>
#include <filesystem>

#include "platform/ExclusiveFile.h"
#include "zip/InputStream.h"

namespace update {

// What an extraction did, for the worker's end text.
struct ExtractionResult {
  bool archiveOpened = false;  // the archive could be read and the base directory exists
  size_t entriesInArchive = 0;
  size_t filesWritten = 0;
  size_t directoriesWritten = 0;
  size_t entriesSkipped = 0;     // entries tried and not written, whatever the reason
  bool endedEarly = false;       // a directory could not be created; later entries not tried
  size_t entriesNotReached = 0;  // entries after the one that ended the extraction

  // Whether the archive was read and every entry of it written.
  bool everythingWritten() const { return archiveOpened && !endedEarly && entriesSkipped == 0; }
};

// Extracts every entry of the archive over baseDirectory, entry by entry, skipping the ones
// that fail (see zip/Extractor.h for what is refused and what is never half-written).
// Raises nothing: an archive that cannot be read, or a missing base directory, gives a result
// with archiveOpened false. The stream stays the caller's, open; only its position changes.
ExtractionResult extractArchive(zip::InputStream& archive,
                                const std::filesystem::path& baseDirectory) noexcept;

// The same for the downloader's open destination file.
ExtractionResult extractArchive(platform::ExclusiveFile& archive,
                                const std::filesystem::path& baseDirectory) noexcept;

}  // namespace update
