// The extraction of a downloaded update archive over the updater's directory, with the fixed
// settings of every update: the archive password, ZIP forced, directories created, stored
// paths restored, every entry ("*"), existing files overwritten without asking.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/ExclusiveFile.h"
#include "zip/Extractor.h"
#include "zip/InputStream.h"

namespace update {

// The password of every update archive: its 8-bit bytes, in order, key the decryption. The
// publishing command (publish/) includes it; the benchmarks' scripts read it from this line
// (scripts/lib/constants.sh): keep it on one line, without quotes or backslashes.
inline constexpr char kArchivePassword[] = "Quelbratzun%7";

// What an extraction did, for the worker's end text and for whoever must find out why an
// update ended "con errores". Nothing of it is shown or written anywhere by the program.
struct ExtractionResult {
  bool archiveOpened = false;  // the archive could be read and the base directory exists
  std::optional<std::string> openFailure;  // why not, when it could not
  size_t entriesInArchive = 0;
  // What the extraction wrote and skipped; its endedBy also holds a failure that ended the run
  // after the archive was opened (running out of memory).
  zip::ExtractionReport report;

  // Whether the archive was read and every entry of it written.
  bool everythingWritten() const {
    return archiveOpened && !report.endedBy && report.skipped.empty();
  }
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
