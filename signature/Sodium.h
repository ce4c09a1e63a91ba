// libsodium's one-time initialisation, which every call into it needs first.
#pragma once

namespace signature {

// Initialises libsodium once for the process (safe from any thread, any number of times).
// Throws std::runtime_error when the library cannot start (no source of randomness).
void ensureSodium();

}  // namespace signature
