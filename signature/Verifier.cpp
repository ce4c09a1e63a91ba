#include "signature/Verifier.h"

#include <sodium.h>

#include "signature/FormatError.h"
#include "signature/Sodium.h"

namespace signature {

std::string_view verdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Verified:
      return "verified";
    case Verdict::Malformed:
      return "the signature file is malformed";
    case Verdict::LegacyAlgorithm:
      return "legacy (not prehashed) signatures are refused";
    case Verdict::OtherKey:
      return "the signature was made with another key";
    case Verdict::BadSignature:
      return "the signature does not match the file";
    case Verdict::BadGlobalSignature:
      return "the trusted comment is not signed by the key";
    case Verdict::OtherFile:
      return "the trusted comment names another file";
  }
  return "unknown verdict";
}

bool trustedCommentNamesFile(std::string_view trustedComment, std::string_view fileName) {
  while (true) {
    const size_t tab = trustedComment.find('\t');
    const std::string_view field = trustedComment.substr(0, tab);
    if (field.starts_with("file:") && field.substr(5) == fileName) return true;
    if (tab == std::string_view::npos) return false;
    trustedComment.remove_prefix(tab + 1);
  }
}

Verdict verifyFile(const PublicKey& key, const SignatureFile& signature, const FileHash& fileHash,
                   std::string_view fileName) {
  ensureSodium();
  if (signature.algorithm != SignatureAlgorithm::Prehashed) return Verdict::LegacyAlgorithm;
  if (signature.keyId != key.id()) return Verdict::OtherKey;
  if (crypto_sign_verify_detached(signature.signature.data(), fileHash.data(), fileHash.size(),
                                  key.key().data()) != 0)
    return Verdict::BadSignature;
  const std::string global = signature.globallySignedBytes();
  if (crypto_sign_verify_detached(signature.globalSignature.data(),
                                  reinterpret_cast<const unsigned char*>(global.data()),
                                  global.size(), key.key().data()) != 0)
    return Verdict::BadGlobalSignature;
  // Only a comment the key signed is asked which file it is for.
  if (!trustedCommentNamesFile(signature.trustedComment, fileName)) return Verdict::OtherFile;
  return Verdict::Verified;
}

Verdict verifyFile(const PublicKey& key, std::string_view signatureText, const FileHash& fileHash,
                   std::string_view fileName) {
  try {
    return verifyFile(key, SignatureFile::parse(signatureText), fileHash, fileName);
  } catch (const FormatError&) {
    return Verdict::Malformed;
  }
}

}  // namespace signature
