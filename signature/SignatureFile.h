// A minisign signature file (what `minisign -S` writes beside a file as <file>.minisig):
//
//   untrusted comment: <free text, not signed>
//   <base64: algorithm (2 bytes), key id (8), Ed25519 signature (64)>
//   trusted comment: <text>
//   <base64: Ed25519 signature (64) of the signature above followed by the trusted comment>
//
// The algorithm is "ED" when the signature is of the file's BLAKE2b-512 hash (prehashed, what
// minisign writes by default) and "Ed" when it is of the file itself (the legacy format of
// `minisign -S -l`).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "signature/PublicKey.h"

namespace signature {

enum class SignatureAlgorithm { Prehashed, Legacy };

using Ed25519Signature = std::array<std::uint8_t, 64>;

struct SignatureFile {
  SignatureAlgorithm algorithm = SignatureAlgorithm::Prehashed;
  KeyId keyId{};
  Ed25519Signature signature{};
  std::string trustedComment;  // without its "trusted comment: " prefix
  Ed25519Signature globalSignature{};

  // Reads the four lines (LF or CR LF; nothing but blank lines may follow). Throws FormatError
  // for a missing or misplaced line, bytes that are not base64, a wrong length, an unknown
  // algorithm.
  static SignatureFile parse(std::string_view text);
  // The file's text, with untrustedComment on its first line (without the prefix). The two
  // comments may hold no line break.
  std::string text(std::string_view untrustedComment) const;

  // What the global signature signs: the signature's 64 bytes, then the trusted comment.
  std::string globallySignedBytes() const;
};

}  // namespace signature
