#include "update/ExtractArchive.h"

#include <exception>

#include "zip/ExclusiveFileStream.h"
#include "zip/Extractor.h"
#include "zip/ZipArchive.h"

namespace update {
namespace {

// The first test and three retries of the same password.
constexpr int passwordTests = 4;

}  // namespace

ExtractionResult extractArchive(zip::InputStream& archive,
                                const std::filesystem::path& baseDirectory) noexcept {
  ExtractionResult result;
  // The update path reports no errors: whatever fails here is only recorded.
  try {
    zip::ZipArchive opened(archive);
    zip::ExtractOptions options;
    options.password = {kArchivePassword, passwordTests};
    options.mask = "*";
    zip::Extractor extractor(opened, baseDirectory, std::move(options));
    result.archiveOpened = true;
    result.entriesInArchive = opened.entries().size();
    zip::ExtractionReport report = extractor.run();
    result.filesWritten = report.filesWritten;
    result.directoriesWritten = report.directoriesWritten;
    result.skipped = std::move(report.skipped);
    result.endedBy = std::move(report.endedBy);
    result.entriesNotReached = report.entriesNotReached;
  } catch (const std::exception& failure) {
    // Once the archive is open only running out of memory gets here.
    (result.archiveOpened ? result.endedBy : result.openFailure) = failure.what();
  } catch (...) {
    (result.archiveOpened ? result.endedBy : result.openFailure) = "unknown error";
  }
  return result;
}

ExtractionResult extractArchive(platform::ExclusiveFile& archive,
                                const std::filesystem::path& baseDirectory) noexcept {
  zip::ExclusiveFileStream stream(archive);
  return extractArchive(stream, baseDirectory);
}

}  // namespace update
