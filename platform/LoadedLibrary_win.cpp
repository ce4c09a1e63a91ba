#include "platform/LoadedLibrary.h"

#include <windows.h>

namespace platform {

std::vector<std::string> missingOperations(const std::string& fileName,
                                           const std::vector<std::string>& operations) {
  // The import names a library by its file name only; GetModuleHandleA finds a loaded module so
  // whatever folder it was loaded from (Lib\ through the manifest).
  HMODULE module = GetModuleHandleA(fileName.c_str());
  if (module == nullptr) return operations;
  std::vector<std::string> missing;
  for (const std::string& name : operations)
    if (GetProcAddress(module, name.c_str()) == nullptr) missing.push_back(name);
  return missing;
}

void* findOperation(const std::string& fileName, const std::string& name) {
  HMODULE module = GetModuleHandleA(fileName.c_str());
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(module, name.c_str()));
}

}  // namespace platform
