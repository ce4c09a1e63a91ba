#include "platform/LoadedLibrary.h"

#include <dlfcn.h>

namespace platform {

std::vector<std::string> missingOperations(const std::string&, const std::vector<std::string>&) {
  return {};
}

void* findOperation(const std::string& fileName, const std::string& name) {
  // RTLD_NOLOAD: only a library that is loaded already; the handle counts one more user,
  // which dlclose takes back (the library stays, the program still uses it).
  void* library = dlopen(fileName.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  void* operation = dlsym(library, name.c_str());
  dlclose(library);
  return operation;
}

}  // namespace platform
