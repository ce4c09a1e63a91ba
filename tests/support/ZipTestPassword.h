// The password of the encrypted archives the zip tests make and read, and how often they let
// the reader test it. Any password exercises the traditional cipher, so the tests do not use
// the updater's own (update::kArchivePassword). tests/zip/make_fuzz_seeds.sh reads
// kZipTestPassword from this line (scripts/lib/constants.sh): keep it on one line, and keep
// quotes and backslashes out of it, since shell commands quote it with single quotes.
#pragma once

namespace testsupport {

inline constexpr char kZipTestPassword[] = "Prueba%Zip-2024";

// As many tests as the updater makes (update/ExtractArchive.cpp): each gives the same answer.
inline constexpr int kZipPasswordTests = 4;

}  // namespace testsupport
