// Publishing one release: every check first, then the archive, its signature and the version
// history, each written whole under its final name.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "publish/Options.h"

namespace publish {

struct PublishedRelease {
  std::filesystem::path archive;
  std::optional<std::filesystem::path> signature;
  std::filesystem::path history;
  bool blockReplaced = false;  // else added after the newest
};

// Publishes the release that options describe. askPassword gives the signing key's password,
// asked only for a key that has one. Throws PublishError: refused (a check failed; nothing
// written, not even the archive), failed (a file could not be read or written, or zip failed).
// In order: the version against the history's newest block, Quendral.exe's version, the new
// history (in memory), the signing key, the archive under a temporary name, the archive read
// back and compared with the release; only then the archive is renamed to its name, the
// signature written (or a signature left from an earlier archive of that name removed), and
// the history renamed over the old one.
PublishedRelease publishRelease(const Options& options,
                                const std::function<std::string()>& askPassword);

}  // namespace publish
