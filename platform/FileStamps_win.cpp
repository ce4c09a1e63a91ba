#include "platform/FileStamps.h"

#include <windows.h>

#include "platform/WindowsFiles.h"

namespace platform {
namespace {

// The UTC moment a DOS date and time name on this machine's clock, or nothing.
std::optional<FILETIME> utcFromDos(uint16_t dosDate, uint16_t dosTime) {
  const auto fields = splitDosDateTime(dosDate, dosTime);
  if (!fields) return std::nullopt;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(fields->year);
  local.wMonth = static_cast<WORD>(fields->month);
  local.wDay = static_cast<WORD>(fields->day);
  local.wHour = static_cast<WORD>(fields->hours);
  local.wMinute = static_cast<WORD>(fields->minutes);
  local.wSecond = static_cast<WORD>(fields->seconds);
  // Not DosDateTimeToFileTime + LocalFileTimeToFileTime: that pair applies today's daylight
  // saving to every date, so a summer stamp unpacked in winter would be an hour off.
  SYSTEMTIME utc{};
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc)) return std::nullopt;
  FILETIME moment{};
  if (!SystemTimeToFileTime(&utc, &moment)) return std::nullopt;
  return moment;
}

}  // namespace

std::optional<int64_t> momentFromDos(uint16_t dosDate, uint16_t dosTime) {
  const auto moment = utcFromDos(dosDate, dosTime);
  if (!moment) return std::nullopt;
  return fileStatusOf(0, 0, *moment, 1).lastWriteSeconds;  // DOS times are whole seconds
}

bool setLastWriteTimeFromDos(const std::filesystem::path& path, uint16_t dosDate,
                             uint16_t dosTime) {
  const auto moment = utcFromDos(dosDate, dosTime);
  if (!moment) return false;
  // FILE_WRITE_ATTRIBUTES is all SetFileTime needs, and full sharing lets it work beside
  // other readers; FILE_FLAG_BACKUP_SEMANTICS lets the same call reach a directory.
  const HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(handle, nullptr, nullptr, &*moment) != 0;
  CloseHandle(handle);
  return set;
}

bool hasSizeAndDosTime(const std::filesystem::path& path, uint64_t size, uint16_t dosDate,
                       uint16_t dosTime) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  const uint64_t length = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
  return hasSizeAndDosTime(fileStatusOf(data.dwFileAttributes, length, data.ftLastWriteTime, 1),
                           size, dosDate, dosTime);
}

bool applyAttributes(const std::filesystem::path& path, uint32_t attributes) {
  return SetFileAttributesW(path.c_str(), settableAttributes(attributes)) != 0;
}

}  // namespace platform
