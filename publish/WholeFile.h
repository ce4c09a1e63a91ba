// Files read and written whole: a write goes to a temporary file beside the target and is
// renamed over it, so that the target is the old file or the new, never a part.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace publish {

// Throws PublishError (failed) when the file cannot be read.
std::string readWholeFile(const std::filesystem::path& path);

// Throws PublishError (failed) when it cannot be written; the target is then untouched.
void writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

// The temporary name beside path that writeWholeFile and the archive use.
std::filesystem::path temporaryBeside(const std::filesystem::path& path);

}  // namespace publish
