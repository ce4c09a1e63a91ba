// What a library that the loader has bound to the program exports.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The names among `operations` that the loaded library `fileName` (a file name without folder,
// as the program imports it) does not export; every name when no such library is loaded.
//
// Windows: asked of the loaded module (GetProcAddress). Windows' loader refuses to start a
// program whose library lacks an import, but Wine binds a stub in its place that fails only
// when called; with this a program refuses to start under Wine as it would on Windows.
// POSIX: always empty. Programs are linked with -z now: the loader has refused such a library
// before any code ran.
std::vector<std::string> missingOperations(const std::string& fileName,
                                           const std::vector<std::string>& operations);

// The address of the operation `name` that the loaded library `fileName` exports, or nullptr
// when it exports none (or no such library is loaded): for the optional operations, which the
// program does not import, so that a library without them still starts.
// Windows: GetProcAddress on the loaded module. POSIX: dlsym on the library the loader has
// loaded under that name (its soname, e.g. "libResourcesUpd.so"), never loading another.
void* findOperation(const std::string& fileName, const std::string& name);

}  // namespace platform
