#include "platform/HeldFile.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "platform/Directory.h"
#include "platform/FileStamps.h"
#include "platform/WindowsFiles.h"

namespace platform {
namespace {

HANDLE handleOf(std::intptr_t native) {
  return reinterpret_cast<HANDLE>(native);
}

// Sets what FILE_BASIC_INFO carries through the handle; a field left 0 stays as it is.
bool setBasicInformation(HANDLE handle, LONGLONG lastWrite, DWORD attributes) {
  FILE_BASIC_INFO information{};
  information.LastWriteTime.QuadPart = lastWrite;
  information.FileAttributes = attributes;
  return SetFileInformationByHandle(handle, FileBasicInfo, &information, sizeof information) != 0;
}

}  // namespace

HeldFile HeldFile::createNew(const std::filesystem::path& path) {
  const auto folder = path.parent_path();
  return Directory::open(folder.empty() ? std::filesystem::path(L".") : folder)
      .createHeldFile(utf8Of(path.filename()));
}

void HeldFile::write(std::span<const std::byte> data) {
  while (!data.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handleOf(handle_), data.data(), piece, &written, nullptr)) {
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "cannot write");
    }
    data = data.subspan(written);
  }
}

size_t HeldFile::read(std::span<std::byte> data) {
  const DWORD piece = static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
  DWORD count = 0;
  if (!ReadFile(handleOf(handle_), data.data(), piece, &count, nullptr)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot read");
  }
  return count;
}

void HeldFile::release() {
  if (handle_ != -1) CloseHandle(handleOf(handle_));
  handle_ = -1;
}

bool HeldFile::flushToDisk() {
  return handle_ != -1 && FlushFileBuffers(handleOf(handle_)) != 0;
}

bool HeldFile::flushIfFileByFile() {
  return flushToDisk();
}

FileStatus HeldFile::status() const {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handleOf(handle_), &information)) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "cannot look at a held file");
  }
  const uint64_t size = uint64_t{information.nFileSizeHigh} << 32 | information.nFileSizeLow;
  return fileStatusOf(information.dwFileAttributes, size, information.ftLastWriteTime,
                      information.nNumberOfLinks);
}

bool HeldFile::addExecuteBits(uint32_t) {
  return handle_ != -1;  // Windows keeps no execute bits
}

bool HeldFile::setLastWriteTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const auto moment = momentFromDos(dosDate, dosTime);
  if (!moment || handle_ == -1) return false;
  constexpr int64_t ticksFrom1601To1970 = 116444736000000000;
  return setBasicInformation(handleOf(handle_), *moment * 10'000'000 + ticksFrom1601To1970, 0);
}

bool HeldFile::applyAttributes(uint32_t attributes) {
  return handle_ != -1 && setBasicInformation(handleOf(handle_), 0, settableAttributes(attributes));
}

}  // namespace platform
