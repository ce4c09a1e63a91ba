#include "platform/ExclusiveFile.h"

#include <windows.h>

#include <string>
#include <utility>

#include "platform/Utf8Path.h"

namespace platform {
namespace {

HANDLE handleOf(intptr_t native) {
  return reinterpret_cast<HANDLE>(native);
}

[[noreturn]] void throwSystemError(DWORD error, const std::string& what,
                                   const std::filesystem::path& path) {
  throw std::system_error(static_cast<int>(error), std::system_category(),
                          what + " \"" + utf8Of(path) + "\"");
}

void closeQuietly(intptr_t native) {
  if (native != -1) CloseHandle(handleOf(native));
}

// Windows refuses write access to a read-only file whoever asks; Wine run by root grants it,
// since it keeps the attribute as missing write bits. Asked of the open handle, so the answer
// is about the file we hold.
bool isReadOnly(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  return GetFileInformationByHandle(handle, &information) &&
         (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool isDirectory(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

ExclusiveFile::ExclusiveFile(const std::filesystem::path& path, Mode mode) : path_(path) {
  // Share mode 0: while we hold the file nobody else may open it, not even to read. OPEN_ALWAYS
  // rather than CREATE_ALWAYS: the latter refuses a hidden or system file and resets the
  // attributes of the file it empties.
  const DWORD disposition = mode == Mode::CreateOrTruncate ? OPEN_ALWAYS : OPEN_EXISTING;
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    throwSystemError(error, inUse ? "Cannot open (in use by another opener)" : "Cannot open", path);
  }
  if (isReadOnly(handle)) {
    CloseHandle(handle);
    throwSystemError(ERROR_ACCESS_DENIED, "Cannot open", path);
  }
  // The file is ours alone by now, so emptying it cannot harm another opener's content.
  if (mode == Mode::CreateOrTruncate && !SetEndOfFile(handle)) {
    const DWORD error = GetLastError();
    CloseHandle(handle);
    throwSystemError(error, "Cannot truncate", path);
  }
  native_ = reinterpret_cast<intptr_t>(handle);
}

void ExclusiveFile::closeNative(intptr_t native) noexcept {
  closeQuietly(native);
}

bool ExclusiveFile::canOpenForWriting(const std::filesystem::path& path) {
  // Full sharing on our side, so only what others hold can refuse us; DELETE because replacing
  // the file renames over it. A running program refuses both.
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const bool readOnly = isReadOnly(handle);
    CloseHandle(handle);
    return !readOnly;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND) return false;
  // Missing: it can be made when its directory exists. (ERROR_PATH_NOT_FOUND, a missing
  // directory, is refused above.) A read-only directory does not stop that on Windows.
  const auto directory = path.parent_path();
  return isDirectory(directory.empty() ? std::filesystem::path(L".") : directory);
}

void ExclusiveFile::write(const void* data, size_t size) {
  if (native_ == kClosed)
    throwSystemError(ERROR_INVALID_HANDLE, "Cannot write to closed file", path_);
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handleOf(native_), bytes, piece, &written, nullptr)) {
      throwSystemError(GetLastError(), "Cannot write to", path_);
    }
    bytes += written;
    size -= written;
    position_ += written;
  }
}

size_t ExclusiveFile::read(void* data, size_t size) {
  if (native_ == kClosed) {
    throwSystemError(ERROR_INVALID_HANDLE, "Cannot read from closed file", path_);
  }
  const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD count = 0;
  if (!ReadFile(handleOf(native_), data, piece, &count, nullptr)) {
    throwSystemError(GetLastError(), "Cannot read from", path_);
  }
  position_ += count;
  return count;
}

size_t ExclusiveFile::readAt(uint64_t offset, void* data, size_t size) {
  if (native_ == kClosed) {
    throwSystemError(ERROR_INVALID_HANDLE, "Cannot read from closed file", path_);
  }
  const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  if (!ReadFile(handleOf(native_), data, piece, &count, &at)) {
    const DWORD error = GetLastError();
    if (error == ERROR_HANDLE_EOF) return 0;
    throwSystemError(error, "Cannot read from", path_);
  }
  // A synchronous handle moves its file pointer past what was read.
  position_ = offset + count;
  return count;
}

void ExclusiveFile::seek(uint64_t offset) {
  if (native_ == kClosed)
    throwSystemError(ERROR_INVALID_HANDLE, "Cannot seek in closed file", path_);
  if (offset > static_cast<uint64_t>(INT64_MAX)) {
    throwSystemError(ERROR_NEGATIVE_SEEK, "Cannot seek in", path_);
  }
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(handleOf(native_), distance, nullptr, FILE_BEGIN)) {
    throwSystemError(GetLastError(), "Cannot seek in", path_);
  }
  position_ = offset;
}

uint64_t ExclusiveFile::position() const {
  return position_;
}

uint64_t ExclusiveFile::size() const {
  if (native_ == kClosed) throwSystemError(ERROR_INVALID_HANDLE, "Cannot query closed file", path_);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(native_), &size))
    throwSystemError(GetLastError(), "Cannot query", path_);
  return static_cast<uint64_t>(size.QuadPart);
}

void ExclusiveFile::close() {
  if (native_ == kClosed) return;
  const HANDLE handle = handleOf(std::exchange(native_, kClosed));
  if (!CloseHandle(handle)) throwSystemError(GetLastError(), "Cannot close", path_);
}

}  // namespace platform
