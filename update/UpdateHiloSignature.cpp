// The worker's steps for a product line that signs its releases: after the archive, its
// signature, and the extraction only of an archive that it vouches for.
#include "update/UpdateHilo.h"

#include "update/ArchiveSignature.h"

#include <system_error>

namespace update {

ExtractionResult TUpdateHilo::extractIfSigned(const std::string& archiveUrl,
                                              const std::filesystem::path& archivePath,
                                              signature::StreamingHash& archiveHash) {
  bool verified = false;
  // Only an archive that arrived whole, and whose every byte was hashed, can be vouched for.
  if (IdHTTPProgress->transferCompleted() && IdHTTPProgress->bodyHashWhole()) {
    const signature::FileHash hash = archiveHash.finish();
    // Its progress is the archive's: the signature's few bytes leave the bar at 100 %.
    IdHTTPProgress->onWorkBegin = nullptr;
    IdHTTPProgress->onWork = nullptr;
    IdHTTPProgress->onWorkEnd = nullptr;
    using Result = FetchedSignature::Result;
    FetchedSignature fetched{Result::Unavailable, {}};
    while (true) {
      fetched = fetchSignature(*IdHTTPProgress, signatureUrl(archiveUrl));
      if (fetched.result != Result::Unavailable || Terminated()) break;
      pauseBeforeNextAttempt();
      if (Terminated()) break;
    }
    const std::u8string fileName = archivePath.filename().u8string();
    const std::string name(fileName.begin(), fileName.end());
    verified = fetched.result == Result::Fetched &&
               signature::verifyFile(*settings_.updateKey, fetched.text, hash, name) ==
                   signature::Verdict::Verified;
  }
  platform::ExclusiveFile* archive = IdHTTPProgress->destination();
  if (verified && archive != nullptr) {
    return extractArchive(*archive, settings_.updaterDirectory,
                          installJournalPath(settings_.updateDirectory));
  }
  // Nothing of an archive that no signature vouches for stays to be run or extracted later.
  IdHTTPProgress->freeStream();
  std::error_code ignored;
  std::filesystem::remove(archivePath, ignored);
  return {};
}

}  // namespace update
