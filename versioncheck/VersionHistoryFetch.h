// Fetching the version history file and reading it through a short-lived local copy: the
// steps of the check below the window, from creating the update directory to deleting the
// copy. The window clears and fills its controls around this call.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace versioncheck {

// The most bytes of the version history file we hold in memory. Real files are some kilobytes
// and grow by one block a version; the cap is low because every line becomes a string object
// (a body of 4 MiB of line breaks already gives some 128 MiB of empty lines).
inline constexpr size_t kMaxVersionHistoryBytes = size_t{4} * 1024 * 1024;

// Fetches the URL (UTF-8) and returns the whole response body. Throws on any failure with
// the message the user is to see (a status line, the HTTP client's own text, ...). Must stop
// receiving and throw once the body grows past kMaxVersionHistoryBytes, so that a hostile
// server cannot fill memory; a larger body returned all the same is refused here.
using FetchBody = std::function<std::string(const std::string& url)>;

// updatePath with updateName appended directly (no separator added), as UTF-8.
std::string versionHistoryUrl(std::u16string_view updatePath, std::u16string_view updateName);

// updateDirectory / updateName.
std::filesystem::path versionHistoryCopyPath(const std::filesystem::path& updateDirectory,
                                             std::u16string_view updateName);

// Writes bytes to path, creating the file or emptying an existing one. Throws
// CannotCreateFileError; a file that could not be written whole is removed again.
void saveVersionHistoryCopy(const std::filesystem::path& path, std::string_view bytes);

// Reads the file at path as version history lines (readVersionHistoryLines). Throws
// CannotOpenFileError when it cannot be opened or read, VersionHistoryTooLargeError past
// kMaxVersionHistoryBytes; the file is left where it is.
std::vector<std::u16string> readVersionHistoryCopy(const std::filesystem::path& path);

// The check's steps below the window, in order: create the update directory when it is not
// one (one level: platform::ensureDirectory, whose failure shows as the copy's); form the URL
// and the copy's path; fetch the body; save it as the copy; read the copy as lines; delete
// the copy (a failed deletion is ignored). Stops at the first error, which propagates:
// the fetcher's own errors unchanged, then CannotCreateFileError, CannotOpenFileError (the
// copy then stays until a later check replaces it) or VersionHistoryTooLargeError.
//
// updateDirectory: the absolute folder of downloads and of the copy (the window's
// "<updater's directory>/Update"). updatePath, updateName:
// UTF-16, as the resource library gives them; updateName must be a plain file name
// (platform::isPlainFileName), else saving fails with CannotCreateFileError and "Invalid
// argument", so that the copy never lands outside the update directory.
std::vector<std::u16string> fetchVersionHistoryLines(const std::filesystem::path& updateDirectory,
                                                     std::u16string_view updatePath,
                                                     std::u16string_view updateName,
                                                     const FetchBody& fetch);

}  // namespace versioncheck
