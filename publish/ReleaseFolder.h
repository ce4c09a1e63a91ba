// The files of a release folder, as they go over an installation.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace publish {

// The regular files under folder, by their path relative to it with "/" between folders (the
// archive's names), leaving out `excluded` (the change list kept beside the release). Throws
// PublishError (refused) for a symbolic link or a special file: a release is plain files and
// folders, and the archive would hold what a link leads to.
std::map<std::string, std::filesystem::path> releaseFiles(const std::filesystem::path& folder,
                                                          const std::filesystem::path& excluded);

}  // namespace publish
