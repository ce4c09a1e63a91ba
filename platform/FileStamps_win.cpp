#include "platform/FileStamps.h"

#include <windows.h>

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
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  if ((uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow) != size) return false;
  const auto moment = utcFromDos(dosDate, dosTime);
  if (!moment) return false;
  const auto ticks = [](const FILETIME& time) {  // 100 ns since 1601
    return int64_t(uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
  };
  const int64_t apart = ticks(data.ftLastWriteTime) - ticks(*moment);
  return apart >= -20'000'000 && apart <= 20'000'000;
}

bool applyAttributes(const std::filesystem::path& path, uint32_t attributes) {
  constexpr uint32_t settable = ReadOnly | Hidden | System | Archive;
  DWORD wanted = attributes & settable;
  // 0 would mean "leave them"; FILE_ATTRIBUTE_NORMAL is how Windows says "none".
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(path.c_str(), wanted) != 0;
}

}  // namespace platform
