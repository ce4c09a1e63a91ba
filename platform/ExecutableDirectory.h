// Where the running program lives: the updater's directory.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// The full path of the running executable, as the system knows it (any length, any
// characters). Throws std::system_error when the system cannot tell.
std::filesystem::path executablePath();

// The directory that holds the running executable (never the working directory).
// Throws std::system_error when the system cannot tell.
std::filesystem::path executableDirectory();

// The same directory as text with one trailing separator, the form the updater shows and
// appends names to ("/opt/quendral/", "C:\Quendral\"). UTF-8 on Windows, the file system's
// own bytes elsewhere. An empty path stays empty: it names no directory.
std::string withTrailingSeparator(const std::filesystem::path& directory);

}  // namespace platform
