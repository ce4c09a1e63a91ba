// Whether an extraction left a temporary file behind anywhere under a directory.
#pragma once

#include <filesystem>
#include <string>

#include "zip/PartFile.h"

namespace testsupport {

// Tolerates a tree that changes while it is walked (an extraction running beside).
inline bool hasPartFiles(const std::filesystem::path& directory) {
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().find(zip::PartFile::marker) != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace testsupport
