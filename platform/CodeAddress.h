// Where a piece of code lies in the file that holds it (the program or a library), for reports
// that name a place the way the system's tools show it.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The offset of `code` from the start of the loaded module (program or library) that holds it:
// on Windows the module's base, elsewhere the start of the mapped file. nullopt when no loaded
// module holds that address (the stack, the heap).
std::optional<std::uintptr_t> offsetInModule(const void* code);

}  // namespace platform
