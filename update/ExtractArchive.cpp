#include "update/ExtractArchive.h"

#include <exception>

#include "update/FreeSpaceReserve.h"
#include "zip/ExclusiveFileStream.h"
#include "zip/Extractor.h"
#include "zip/ZipArchive.h"

namespace update {
namespace {

// The first test and three retries of the same password.
constexpr int passwordTests = 4;

}  // namespace

ExtractionResult extractArchive(zip::InputStream& archive,
                                const std::filesystem::path& baseDirectory,
                                const std::filesystem::path& journal) noexcept {
  ExtractionResult result;
  // The update path reports no errors: whatever fails here is only recorded.
  try {
    zip::ZipArchive opened(archive);
    zip::ExtractOptions options;
    options.password = {kArchivePassword, passwordTests};
    options.mask = "*";
    options.journal = journal;
    options.freeSpaceReserve = kFreeSpaceReserve;
    zip::Extractor extractor(opened, baseDirectory, std::move(options));
    result.archiveOpened = true;
    result.entriesInArchive = opened.entries().size();
    result.report = extractor.run();
  } catch (const std::exception& failure) {
    // Once the archive is open only running out of memory gets here.
    (result.archiveOpened ? result.report.endedBy : result.openFailure) = failure.what();
  } catch (...) {
    (result.archiveOpened ? result.report.endedBy : result.openFailure) = "unknown error";
  }
  return result;
}

ExtractionResult extractArchive(platform::ExclusiveFile& archive,
                                const std::filesystem::path& baseDirectory,
                                const std::filesystem::path& journal) noexcept {
  zip::ExclusiveFileStream stream(archive);
  return extractArchive(stream, baseDirectory, journal);
}

std::filesystem::path installJournalPath(const std::filesystem::path& updateDirectory) {
  return updateDirectory / "install-journal";
}

zip::RollForwardReport completeInterruptedInstall(
    const std::filesystem::path& updateDirectory,
    const std::filesystem::path& updaterDirectory) noexcept {
  try {
    return zip::rollForwardInstall(installJournalPath(updateDirectory), updaterDirectory);
  } catch (...) {
    return {};  // only a path that cannot be made (out of memory) gets here
  }
}

}  // namespace update
