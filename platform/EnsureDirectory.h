// A folder of ours that must exist before we write into it, created on demand.
#pragma once

#include <filesystem>

namespace platform {

// Creates directory when it is not a directory: one level, not the missing parents. A failure
// is ignored on purpose: whatever is then written into it fails and says why.
void ensureDirectory(const std::filesystem::path& directory) noexcept;

}  // namespace platform
