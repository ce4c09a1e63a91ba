#include "update/ExtractArchive.h"

#include <exception>

#include "zip/ExclusiveFileStream.h"
#include "zip/Extractor.h"
#include "zip/ZipArchive.h"

namespace update {
namespace {

// The password of every update archive: its 8-bit bytes, in order, key the decryption.
constexpr char archivePassword[] = "Quelbratzun%7";
// The first test and three retries of the same password.
constexpr int passwordTests = 4;

}  // namespace

ExtractionResult extractArchive(zip::InputStream& archive,
                                const std::filesystem::path& baseDirectory) noexcept {
  ExtractionResult result;
  // The update path reports no errors: whatever fails here is only counted.
  try {
    zip::ZipArchive opened(archive);
    zip::ExtractOptions options;
    options.password = {archivePassword, passwordTests};
    options.mask = "*";
    zip::Extractor extractor(opened, baseDirectory, std::move(options));
    result.archiveOpened = true;
    result.entriesInArchive = opened.entries().size();
    const zip::ExtractionReport report = extractor.run();
    result.filesWritten = report.filesWritten;
    result.directoriesWritten = report.directoriesWritten;
    result.entriesSkipped = report.skipped.size();
    result.endedEarly = report.endedBy.has_value();
    result.entriesNotReached = report.entriesNotReached;
  } catch (...) {
    // Only running out of memory gets here once the archive is open: count it as ended.
    if (result.archiveOpened) result.endedEarly = true;
  }
  return result;
}

ExtractionResult extractArchive(platform::ExclusiveFile& archive,
                                const std::filesystem::path& baseDirectory) noexcept {
  zip::ExclusiveFileStream stream(archive);
  return extractArchive(stream, baseDirectory);
}

}  // namespace update
