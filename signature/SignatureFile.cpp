#include "signature/SignatureFile.h"

#include <algorithm>
#include <vector>

#include "signature/Base64.h"
#include "signature/FormatError.h"
#include "signature/TextLines.h"

namespace signature {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment:";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";

std::vector<std::uint8_t> decodeLine(std::string_view line, size_t length, const char* what) {
  auto bytes = decodeBase64(line);
  if (!bytes) throw FormatError(std::string(what) + " is not base64");
  if (bytes->size() != length)
    throw FormatError(std::string(what) + " is not " + std::to_string(length) + " bytes long");
  return std::move(*bytes);
}

}  // namespace

SignatureFile SignatureFile::parse(std::string_view text) {
  const std::vector<std::string_view> lines = splitLines(text);
  if (lines.size() < 4) throw FormatError("a signature file has four lines");
  for (size_t i = 4; i < lines.size(); ++i)
    if (!trimmed(lines[i]).empty()) throw FormatError("the signature file has more than 4 lines");
  if (!lines[0].starts_with(kUntrustedPrefix))
    throw FormatError("the first line of a signature file is an untrusted comment");
  if (!lines[2].starts_with(kTrustedPrefix))
    throw FormatError("the third line of a signature file is a trusted comment");

  SignatureFile file;
  const auto signatureBytes = decodeLine(lines[1], 74, "the signature");
  if (signatureBytes[0] == 'E' && signatureBytes[1] == 'D')
    file.algorithm = SignatureAlgorithm::Prehashed;
  else if (signatureBytes[0] == 'E' && signatureBytes[1] == 'd')
    file.algorithm = SignatureAlgorithm::Legacy;
  else
    throw FormatError("the signature's algorithm is neither ED nor Ed");
  std::copy_n(signatureBytes.begin() + 2, file.keyId.size(), file.keyId.begin());
  std::copy_n(signatureBytes.begin() + 10, file.signature.size(), file.signature.begin());
  file.trustedComment = std::string(lines[2].substr(kTrustedPrefix.size()));
  const auto global = decodeLine(lines[3], 64, "the global signature");
  std::copy(global.begin(), global.end(), file.globalSignature.begin());
  return file;
}

std::string SignatureFile::text(std::string_view untrustedComment) const {
  const std::uint8_t second = algorithm == SignatureAlgorithm::Prehashed ? 'D' : 'd';
  std::vector<std::uint8_t> bytes{'E', second};
  bytes.insert(bytes.end(), keyId.begin(), keyId.end());
  bytes.insert(bytes.end(), signature.begin(), signature.end());
  std::string text;
  text.append(kUntrustedPrefix).append(" ").append(untrustedComment).append("\n");
  text.append(encodeBase64(bytes)).append("\n");
  text.append(kTrustedPrefix).append(trustedComment).append("\n");
  text.append(encodeBase64(globalSignature)).append("\n");
  return text;
}

std::string SignatureFile::globallySignedBytes() const {
  std::string bytes(signature.begin(), signature.end());
  return bytes + trustedComment;
}

}  // namespace signature
