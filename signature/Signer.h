// Making a minisign signature of a file: prehashed, with a trusted comment that names it, as
// `minisign -S` does by default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "signature/SecretKey.h"
#include "signature/SignatureFile.h"
#include "signature/StreamingHash.h"

namespace signature {

// minisign's default trusted comment: "timestamp:<seconds>", "file:<name>", "hashed", joined by
// tabs. The updater requires the file field.
std::string defaultTrustedComment(std::string_view fileName, std::int64_t unixSeconds);

// The prehashed signature of the file whose BLAKE2b-512 hash is fileHash, and the global
// signature over it and trustedComment (which may hold no line break).
SignatureFile signFile(const SecretKey& key, const FileHash& fileHash, std::string trustedComment);

}  // namespace signature
