// What Wine can store of a file's attributes. It keeps read-only as the Unix write bits and
// hidden and system in an extended attribute, but has nowhere to keep the absence of the
// archive attribute: every file shows it there, and none shows FILE_ATTRIBUTE_NORMAL.
#pragma once

#include <windows.h>

namespace platformtest {

inline bool runningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The attributes a file given these shows when read back on this system.
inline DWORD attributesAsShown(DWORD attributes) {
  if (!runningUnderWine()) return attributes;
  return (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace platformtest
