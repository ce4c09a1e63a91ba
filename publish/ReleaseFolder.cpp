#include "publish/ReleaseFolder.h"

#include "publish/PublishError.h"

namespace publish {

std::map<std::string, std::filesystem::path> releaseFiles(const std::filesystem::path& folder,
                                                          const std::filesystem::path& excluded) {
  namespace fs = std::filesystem;
  std::map<std::string, fs::path> files;
  std::error_code ignored;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const fs::file_status status = entry.symlink_status();
    if (fs::is_directory(status)) continue;
    if (!fs::is_regular_file(status))
      throw PublishError(kRefused, entry.path().string() +
                                       " is not a plain file (a link?): a release holds only "
                                       "files and folders");
    if (!excluded.empty() && fs::equivalent(entry.path(), excluded, ignored)) continue;
    const std::u8string name = entry.path().lexically_relative(folder).generic_u8string();
    files.emplace(std::string(name.begin(), name.end()), entry.path());
  }
  return files;
}

}  // namespace publish
