#include "signature/Signer.h"

#include <sodium.h>

#include <stdexcept>

#include "signature/Sodium.h"

namespace signature {

std::string defaultTrustedComment(std::string_view fileName, std::int64_t unixSeconds) {
  return "timestamp:" + std::to_string(unixSeconds) + "\tfile:" + std::string(fileName) +
         "\thashed";
}

SignatureFile signFile(const SecretKey& key, const FileHash& fileHash, std::string trustedComment) {
  ensureSodium();
  if (trustedComment.find_first_of("\r\n") != std::string::npos)
    throw std::invalid_argument("a trusted comment is one line");
  SignatureFile file;
  file.algorithm = SignatureAlgorithm::Prehashed;
  file.keyId = key.id();
  file.trustedComment = std::move(trustedComment);
  crypto_sign_detached(file.signature.data(), nullptr, fileHash.data(), fileHash.size(),
                       key.key().data());
  const std::string global = file.globallySignedBytes();
  crypto_sign_detached(file.globalSignature.data(), nullptr,
                       reinterpret_cast<const unsigned char*>(global.data()), global.size(),
                       key.key().data());
  return file;
}

}  // namespace signature
