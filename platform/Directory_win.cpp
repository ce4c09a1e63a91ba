// Windows: names are joined to the folder's path, and the folders of that path are held open
// so that it keeps leading where it led (Directory.h).
#include "platform/Directory.h"

#include <windows.h>

#include <string>

#include "platform/WindowsFiles.h"

namespace platform {

struct Directory::State {
  State(HANDLE folder, std::filesystem::path folderPath, std::shared_ptr<const State> above)
      : handle(folder), path(std::move(folderPath)), parent(std::move(above)) {}
  ~State() { CloseHandle(handle); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  const HANDLE handle;
  const std::filesystem::path path;
  // The folder above, held as long as this one is: a folder whose parent could be renamed
  // would no longer be at its path.
  const std::shared_ptr<const State> parent;
};

namespace {

[[noreturn]] void fail(DWORD error, const std::string& what, const std::filesystem::path& path) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " \"" + utf8Of(path) + "\"");
}

std::error_code systemError(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return std::make_error_code(std::errc::no_such_file_or_directory);
  }
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
    return std::make_error_code(std::errc::file_exists);
  }
  return std::error_code(static_cast<int>(error), std::system_category());
}

// A folder held open: others may read and write in it, but not rename or remove it (no
// FILE_SHARE_DELETE). flags decides whether a reparse point is opened itself.
HANDLE holdFolder(const std::filesystem::path& path, DWORD flags) {
  return CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

DWORD attributesOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle, &information)) return INVALID_FILE_ATTRIBUTES;
  return information.dwFileAttributes;
}

}  // namespace

Directory Directory::open(const std::filesystem::path& path) {
  const HANDLE handle = holdFolder(path, 0);
  if (handle == INVALID_HANDLE_VALUE) fail(GetLastError(), "cannot open the folder", path);
  const DWORD attributes = attributesOf(handle);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    fail(ERROR_DIRECTORY, "cannot open the folder", path);
  }
  return Directory(std::make_shared<const State>(handle, path, nullptr));
}

const std::filesystem::path& Directory::path() const {
  return state_->path;
}

std::optional<Directory> Directory::openFolder(const std::string& name,
                                               std::error_code& error) const {
  const auto path = state_->path / pathOfUtf8(name);
  const HANDLE handle = holdFolder(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) {
    error = systemError(GetLastError());
    return std::nullopt;
  }
  const DWORD attributes = attributesOf(handle);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
      !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    error = std::make_error_code(attributes != INVALID_FILE_ATTRIBUTES &&
                                         (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                                     ? std::errc::too_many_symbolic_link_levels
                                     : std::errc::not_a_directory);
    return std::nullopt;
  }
  error.clear();
  return Directory(std::make_shared<const State>(handle, path, state_));
}

bool Directory::makeFolder(const std::string& name, std::error_code& error) const {
  if (CreateDirectoryW((state_->path / pathOfUtf8(name)).c_str(), nullptr)) {
    error.clear();
    return true;
  }
  error = systemError(GetLastError());
  return false;
}

bool Directory::applyAttributes(uint32_t attributes) const {
  return SetFileAttributesW(state_->path.c_str(), settableAttributes(attributes)) != 0;
}

FileStatus Directory::status(const std::string& name) const {
  const auto path = state_->path / pathOfUtf8(name);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileStatus{};
    fail(error, "cannot look at", path);
  }
  const uint64_t size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  return fileStatusOf(data.dwFileAttributes, size, data.ftLastWriteTime, 1);
}

std::vector<std::string> Directory::names() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((state_->path / L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(utf8Of(std::filesystem::path(name)));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

HeldFile Directory::createHeldFile(const std::string& name) const {
  const auto path = state_->path / pathOfUtf8(name);
  // Shared for deletion only: the writer's own rename over the target must work, while anyone
  // else who opens the file (to read it, or to remove it as a leftover) is refused.
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const std::string what = "cannot create \"" + utf8Of(path) + "\"";
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      throw std::system_error(std::make_error_code(std::errc::file_exists), what);
    throw std::system_error(static_cast<int>(error), std::system_category(), what);
  }
  return HeldFile(reinterpret_cast<std::intptr_t>(handle));
}

std::optional<HeldFile> Directory::openHeldFile(const std::string& name, Held& outcome) const {
  // Full sharing on our side, so that only what others hold refuses us; write and delete access
  // as replacing it would ask, which a running program refuses too.
  const HANDLE handle =
      CreateFileW((state_->path / pathOfUtf8(name)).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A folder is refused as access denied too: it is no file to hold, not a held file.
    const DWORD attributes = GetFileAttributesW((state_->path / pathOfUtf8(name)).c_str());
    const bool file = attributes != INVALID_FILE_ATTRIBUTES &&
                      !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    outcome = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || !file
                  ? Held::NotHere
                  : Held::ByAnother;
    return std::nullopt;
  }
  HeldFile file(reinterpret_cast<std::intptr_t>(handle));
  const DWORD attributes = attributesOf(handle);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes &
       (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
    outcome = Held::NotHere;
    return std::nullopt;
  }
  // Windows refuses write access to a read-only file; Wine run by root grants it.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    outcome = Held::ByAnother;
    return std::nullopt;
  }
  outcome = Held::Yes;
  return file;
}

bool Directory::canOpenForWriting(const std::string& name) const {
  const HANDLE handle =
      CreateFileW((state_->path / pathOfUtf8(name)).c_str(), GENERIC_WRITE | DELETE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND;
  }
  const DWORD attributes = attributesOf(handle);
  CloseHandle(handle);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_READONLY);
}

void Directory::rename(const std::string& from, const std::string& to) const {
  // WRITE_THROUGH: return only once the rename is on disk, so a crash right after cannot undo
  // a replacement that has been reported done.
  const auto target = state_->path / pathOfUtf8(to);
  if (!MoveFileExW((state_->path / pathOfUtf8(from)).c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    fail(GetLastError(), "cannot rename " + from + " to", target);
  }
}

bool Directory::syncFileSystem() const {
  return true;  // each file was flushed by itself
}

bool Directory::flushNames() const {
  return true;  // renames are written through
}

std::optional<uint64_t> Directory::freeSpace() const {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(state_->path.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return available.QuadPart;
}

bool Directory::remove(const std::string& name) const {
  return DeleteFileW((state_->path / pathOfUtf8(name)).c_str()) != 0;
}

bool Directory::removeIfUnheld(const std::string& name) const {
  // Opening it without sharing anything fails while its writer holds it; when it succeeds, the
  // file goes when this handle closes.
  const HANDLE handle =
      CreateFileW((state_->path / pathOfUtf8(name)).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace platform
