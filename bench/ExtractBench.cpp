// Extraction benchmark program: extracts one archive with extractArchive, as the update worker
// does (the archive held open as the downloader's exclusive file), and prints the time taken,
// the peak resident memory and what was written. Exit code 1 when not everything was written.
//
//   extract_bench <archive.zip> <output directory, empty or holding an earlier install> [journal]
//
// With a journal path (its folder must exist), the install is made safe against a power loss
// as the update worker makes it (the part files synced, the journal written and flushed before
// the first rename); without, nothing is synced, which tells what that safety costs.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <exception>

#include "platform/ExclusiveFile.h"
#include "update/ExtractArchive.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s <archive.zip> <output directory> [journal]\n", argv[0]);
    return 2;
  }
  try {
    platform::ExclusiveFile archive(argv[1], platform::ExclusiveFile::Mode::OpenExisting);
    const auto start = std::chrono::steady_clock::now();
    const update::ExtractionResult result =
        update::extractArchive(archive, argv[2], argc == 4 ? argv[3] : "");
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.3f s, peak %.1f MiB, %zu files, %zu directories, %zu skipped\n", elapsed.count(),
                static_cast<double>(usage.ru_maxrss) / 1024.0, result.report.filesWritten,
                result.report.directoriesWritten, result.report.skipped.size());
    return result.everythingWritten() ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 2;
  }
}
