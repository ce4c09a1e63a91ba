// The archive read back with the updater's own reader and compared with the release folder,
// before anything is published.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace publish {

// What differs between the archive and the release's files (names as in the archive):
// empty when every file is in the archive, encrypted, and decodes with the password to its
// exact content, and the archive holds nothing else but folders. Throws nothing but
// std::bad_alloc: a damaged archive is a difference too.
std::vector<std::string> archiveDifferences(
    const std::filesystem::path& archive, const std::string& password,
    const std::map<std::string, std::filesystem::path>& releaseFiles);

}  // namespace publish
