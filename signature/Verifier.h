// Whether a minisign signature vouches for one file: the updater's check of a downloaded
// update archive against the product line's key.
#pragma once

#include <string_view>

#include "signature/PublicKey.h"
#include "signature/SignatureFile.h"
#include "signature/StreamingHash.h"

namespace signature {

// Verified, or the first reason found to refuse, in the order they are checked.
enum class Verdict {
  Verified,
  Malformed,           // the signature file is not in minisign's format
  LegacyAlgorithm,     // "Ed": signed without the hash, refused (see verifyFile)
  OtherKey,            // made with another key id than the trusted key's
  BadSignature,        // the signature is not the key's over this file's hash
  BadGlobalSignature,  // the trusted comment was changed, or the signature line swapped
  OtherFile,           // the trusted comment does not name this file
};

// A short English description, for logs and test messages.
std::string_view verdictText(Verdict verdict);

// Whether one of the tab-separated fields of the trusted comment is exactly "file:<fileName>".
bool trustedCommentNamesFile(std::string_view trustedComment, std::string_view fileName);

// Checks that `signature` is the key's over the file whose BLAKE2b-512 hash is `fileHash`,
// that its trusted comment is the key's too (global signature), and that the comment names
// `fileName`, so that the signature of one file cannot vouch for another that the same key
// signed.
// Only prehashed signatures are taken: a legacy one signs the whole file, which would have to
// be held in memory or read a second time, and minisign writes it only when asked to (-l).
Verdict verifyFile(const PublicKey& key, const SignatureFile& signature, const FileHash& fileHash,
                   std::string_view fileName);

// The same for a signature file's text; Malformed when it cannot be read.
Verdict verifyFile(const PublicKey& key, std::string_view signatureText, const FileHash& fileHash,
                   std::string_view fileName);

}  // namespace signature
