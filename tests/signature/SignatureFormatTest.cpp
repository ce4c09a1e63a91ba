// The key and signature file formats: what is read, and every malformed text refused.
#include <gtest/gtest.h>

#include <string>

#include "signature/Base64.h"
#include "signature/FormatError.h"
#include "signature/PublicKey.h"
#include "signature/SignatureFile.h"
#include "signature/Verifier.h"

namespace {

using signature::FormatError;
using signature::PublicKey;
using signature::SignatureFile;

// Made by `minisign -G -W` and `minisign -S` (minisign 0.11) for a file named f.txt.
constexpr char kKeyLine[] = "RWQR1NmU/YLStqeAuiLLpBMWolQ3vkZkX1T0n5/8M7MgEH+Dfem5fhPG";
constexpr char kSignatureLine[] =
    "RUQR1NmU/YLStmCUUbiSSZTXK3bf9Z8oLfcBO+0lXhsaGO2zRUqy4FBcZiI2MaTKat6j8Gj8AjfW+sUTqNSxZkuPjTpe"
    "q2v38Q0=";
constexpr char kGlobalLine[] =
    "U1TGHq5Dp6WMtsC6NrL7NIn18OPZf8Otgtz6iujX+TGKj69pB9g+m08J11lhts5YjNdfHTzR+PWlpyYGOPu/CA==";

std::string signatureText(const std::string& signatureLine = kSignatureLine,
                          const std::string& globalLine = kGlobalLine) {
  return "untrusted comment: signature from minisign secret key\n" + signatureLine +
         "\ntrusted comment: timestamp:1796979608\tfile:f.txt\thashed\n" + globalLine + "\n";
}

TEST(PublicKeyFormat, ReadsTheKeyLineAndTheFile) {
  const PublicKey key = PublicKey::fromLine(std::string("  ") + kKeyLine + "\r\n");
  EXPECT_EQ(signature::keyIdText(key.id()), "B6D282FD94D9D411");  // as minisign names it
  EXPECT_EQ(key.line(), kKeyLine);
  const PublicKey fromFile = PublicKey::fromFileText(
      std::string("untrusted comment: minisign public key B6D282FD94D9D411\r\n") + kKeyLine +
      "\r\n");
  EXPECT_EQ(fromFile.line(), kKeyLine);
}

TEST(PublicKeyFormat, RefusesWhatIsNotAKey) {
  const std::string line = kKeyLine;
  const struct {
    const char* name;
    std::string text;
  } rows[] = {
      {"empty", ""},
      {"not base64", "RWQR1NmU/YLSt*eAuiLLpBMWolQ3vkZkX1T0n5/8M7MgEH+Dfem5fhPG"},
      {"a blank inside", "RWQR1NmU/YLStqeAuiLL pBMWolQ3vkZkX1T0n5/8M7MgEH+Dfem5fhPG"},
      {"one byte short", signature::encodeBase64(std::vector<std::uint8_t>(41, 'E'))},
      {"another algorithm", signature::encodeBase64(std::vector<std::uint8_t>(42, 'E'))},
      {"the comment line", "untrusted comment: minisign public key B6D282FD94D9D411"},
  };
  for (const auto& row : rows) EXPECT_THROW(PublicKey::fromLine(row.text), FormatError) << row.name;
  EXPECT_THROW(PublicKey::fromFileText(line + "\n"), FormatError) << "a file without comment";
}

TEST(SignatureFileFormat, ReadsWhatTheToolWritesAndWritesItAgain) {
  const SignatureFile file = SignatureFile::parse(signatureText());
  EXPECT_EQ(file.algorithm, signature::SignatureAlgorithm::Prehashed);
  EXPECT_EQ(signature::keyIdText(file.keyId), "B6D282FD94D9D411");
  EXPECT_EQ(file.trustedComment, "timestamp:1796979608\tfile:f.txt\thashed");
  EXPECT_EQ(file.text("signature from minisign secret key"), signatureText());
  // CR LF line ends and blank lines after the four are read as well.
  std::string crlf;
  for (char c : signatureText()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(SignatureFile::parse(crlf + "\r\n").trustedComment, file.trustedComment);
}

TEST(SignatureFileFormat, RefusesMalformedFiles) {
  const std::string text = signatureText();
  const std::string signatureLine = kSignatureLine;
  std::string otherAlgorithm = signatureLine;
  otherAlgorithm[1] = 'S';  // "RUQ" is "ED"; "RSQ" is another pair of bytes
  const struct {
    const char* name;
    std::string text;
  } rows[] = {
      {"empty", ""},
      {"three lines", text.substr(0, text.rfind(kGlobalLine))},
      {"no untrusted comment", text.substr(text.find('\n') + 1) + "\n"},
      {"the trusted comment without its prefix",
       std::string(text).replace(text.find("trusted comment: t"), 17, "comment: ")},
      {"a signature that is not base64",
       signatureText(signatureLine.substr(0, 20) + "!" + signatureLine.substr(21))},
      {"a short signature", signatureText(signatureLine.substr(0, 96))},
      {"an unknown algorithm", signatureText(otherAlgorithm)},
      {"a short global signature", signatureText(kSignatureLine, "U1TGHq5Dp6WMtsC6")},
      {"a fifth line", text + "RWQ=\n"},
  };
  for (const auto& row : rows) {
    EXPECT_THROW(SignatureFile::parse(row.text), FormatError) << row.name;
    EXPECT_EQ(signature::verifyFile(PublicKey::fromLine(kKeyLine), row.text, {}, "f.txt"),
              signature::Verdict::Malformed)
        << row.name;
  }
}

TEST(TrustedComment, NamesAFileInOneOfItsFields) {
  const struct {
    const char* comment;
    bool names;
  } rows[] = {
      {"timestamp:1\tfile:a.zip\thashed", true},
      {"file:a.zip", true},
      {"timestamp:1\tfile:a.zip.old", false},
      {"timestamp:1 file:a.zip", false},
      {"file:A.zip", false},
      {"", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(signature::trustedCommentNamesFile(row.comment, "a.zip"), row.names) << row.comment;
}

}  // namespace
