// Making the update archive: Info-ZIP's zip, with traditional encryption under the archive
// password, run over the release folder.
#pragma once

#include <filesystem>
#include <string>

namespace publish {

// Writes archive (which must not exist) from everything in folder but `excluded` (a path
// relative to folder, or empty), every entry encrypted with password. Throws PublishError
// (failed) when zip is not on the PATH or fails.
void makeArchive(const std::filesystem::path& folder, const std::filesystem::path& archive,
                 const std::string& password, const std::string& excluded);

}  // namespace publish
