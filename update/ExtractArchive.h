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
#include "zip/RollForward.h"

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

// Extracts every entry of the archive over baseDirectory, skipping the ones that fail, and
// installs the new version whole or not at all (see zip/Extractor.h for what is refused, what
// is never half-written, and the two phases), leaving kFreeSpaceReserve free. With a journal
// (installJournalPath), a kill at any moment leaves what completeInterruptedInstall completes;
// an empty path installs without one (tests and benchmarks only: the updater always keeps one).
// Raises nothing: an archive that cannot be read, or a missing base directory, gives a result
// with archiveOpened false. The stream stays the caller's, open; only its position changes.
ExtractionResult extractArchive(zip::InputStream& archive,
                                const std::filesystem::path& baseDirectory,
                                const std::filesystem::path& journal) noexcept;

// The same for the downloader's open destination file.
ExtractionResult extractArchive(platform::ExclusiveFile& archive,
                                const std::filesystem::path& baseDirectory,
                                const std::filesystem::path& journal) noexcept;

// Where an update's install journal lives: in the update folder.
std::filesystem::path installJournalPath(const std::filesystem::path& updateDirectory);

// What a start does before anything reads the installed program: an install that a kill
// interrupted is completed, or cleared when it had not begun renaming (zip/RollForward.h), so
// the program is one version, whole. Raises nothing; the start goes on whatever it finds.
zip::RollForwardReport completeInterruptedInstall(
    const std::filesystem::path& updateDirectory,
    const std::filesystem::path& updaterDirectory) noexcept;

}  // namespace update
