// Signatures made by the minisign tool verify in ours, ours verify in the tool, and every
// refusal of the verifier, each shown on a signature the tool made.
#include <gtest/gtest.h>

#include <string>

#include "signature/FormatError.h"
#include "signature/PublicKey.h"
#include "signature/SecretKey.h"
#include "signature/Signer.h"
#include "signature/StreamingHash.h"
#include "signature/Verifier.h"
#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"

namespace {

using signature::Verdict;
using testsupport::readFile;
using testsupport::runIn;
using testsupport::writeFile;

constexpr char kArchive[] = "KUBUpdate-ESC.2.4.1.7.zip";
constexpr char kContent[] = "PK\x03\x04 an archive's bytes, signed as a release is";

class MinisignPeerTest : public ::testing::Test {
protected:
  void SetUp() override {
    UPDATER_REQUIRE_TOOLS("minisign");
    ASSERT_TRUE(runIn(dir.path(), "minisign -G -W -p k.pub -s k.key"));
    writeFile(dir / kArchive, kContent);
  }

  // Signs the archive with the tool; extra options before -m.
  void toolSigns(const std::string& options = "", const std::string& key = "k.key") {
    ASSERT_TRUE(runIn(dir.path(), "minisign -S -s " + key + " " + options + " -m " + kArchive));
  }

  signature::PublicKey key(const std::string& file = "k.pub") const {
    return signature::PublicKey::fromFileText(readFile(dir / file));
  }
  std::string signatureText() const { return readFile(dir / (std::string(kArchive) + ".minisig")); }

  Verdict verify(const signature::PublicKey& publicKey, const std::string& text,
                 const std::string& content = kContent) const {
    signature::StreamingHash hash;
    // In uneven pieces, as a download feeds it.
    for (size_t at = 0; at < content.size(); at += 7)
      hash.update(content.data() + at, std::min<size_t>(7, content.size() - at));
    return signature::verifyFile(publicKey, text, hash.finish(), kArchive);
  }

  testsupport::ScratchDirectory dir;
};

TEST_F(MinisignPeerTest, ASignatureOfTheToolVerifiesInOurs) {
  toolSigns();
  EXPECT_EQ(verify(key(), signatureText()), Verdict::Verified);
  // The hash of the file on disk is the one fed in pieces.
  EXPECT_EQ(
      signature::verifyFile(key(), signatureText(), signature::hashFile(dir / kArchive), kArchive),
      Verdict::Verified);
}

TEST_F(MinisignPeerTest, OurSignatureVerifiesInTheTool) {
  const auto secret = signature::SecretKey::fromFileText(readFile(dir / "k.key"), [] {
    ADD_FAILURE() << "a key without a password asks for none";
    return std::string();
  });
  EXPECT_EQ(secret.publicKey().line(), key().line());
  const auto file = signature::signFile(secret, signature::hashFile(dir / kArchive),
                                        signature::defaultTrustedComment(kArchive, 1796979608));
  writeFile(dir / (std::string(kArchive) + ".minisig"), file.text("signature from quendral"));
  EXPECT_TRUE(runIn(dir.path(), std::string("minisign -V -H -p k.pub -m ") + kArchive));
  EXPECT_EQ(verify(key(), signatureText()), Verdict::Verified);
}

TEST_F(MinisignPeerTest, AKeyWithAPasswordOpensWithItOnly) {
  ASSERT_TRUE(runIn(dir.path(), "printf 'secreto\\nsecreto\\n' | minisign -G -p e.pub -s e.key"));
  const std::string keyText = readFile(dir / "e.key");
  EXPECT_THROW(signature::SecretKey::fromFileText(keyText, [] { return std::string("otro"); }),
               signature::FormatError);
  const auto secret =
      signature::SecretKey::fromFileText(keyText, [] { return std::string("secreto"); });
  const auto file = signature::signFile(secret, signature::hashFile(dir / kArchive),
                                        signature::defaultTrustedComment(kArchive, 1));
  writeFile(dir / (std::string(kArchive) + ".minisig"), file.text("signature from quendral"));
  EXPECT_TRUE(runIn(dir.path(), std::string("minisign -V -p e.pub -m ") + kArchive));
}

TEST_F(MinisignPeerTest, EachRefusal) {
  ASSERT_TRUE(runIn(dir.path(), "minisign -G -W -p other.pub -s other.key"));
  // The other key's public key under this key's id: the id alone must not be trusted.
  const signature::PublicKey otherKeySameId(key().id(), key("other.pub").key());
  // A trusted comment of the tool's form, naming the file given.
  const auto commentFor = [](const std::string& name) {
    return "-t \"$(printf 'timestamp:1\\tfile:" + name + "\\thashed')\"";
  };
  struct Row {
    const char* name;
    std::string signOptions;
    std::string signingKey;
    std::string content;
    bool otherKeyWithSameId;
    Verdict expected;
  };
  const Row rows[] = {
      {"one byte changed", "", "k.key", std::string(kContent) + "!", false, Verdict::BadSignature},
      {"another key", "", "other.key", kContent, false, Verdict::OtherKey},
      {"another key with the same id", "", "k.key", kContent, true, Verdict::BadSignature},
      {"a comment for another version's file", commentFor("KUBUpdate-ESC.2.4.1.6.zip"), "k.key",
       kContent, false, Verdict::OtherFile},
      {"a comment naming a longer name", commentFor("KUBUpdate-ESC.2.4.1.7.zip.old"), "k.key",
       kContent, false, Verdict::OtherFile},
      {"a comment without the file", "-t 'KUBUpdate-ESC.2.4.1.7.zip'", "k.key", kContent, false,
       Verdict::OtherFile},
      {"the legacy algorithm", "-l", "k.key", kContent, false, Verdict::LegacyAlgorithm},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    toolSigns(row.signOptions, row.signingKey);
    EXPECT_EQ(verify(row.otherKeyWithSameId ? otherKeySameId : key(), signatureText(), row.content),
              row.expected);
  }
}

TEST_F(MinisignPeerTest, ATrustedCommentChangedAfterSigningIsRefused) {
  toolSigns();
  std::string text = signatureText();
  const size_t at = text.find("timestamp:") + 10;
  text[at] = text[at] == '1' ? '2' : '1';
  EXPECT_EQ(verify(key(), text), Verdict::BadGlobalSignature);
  // The signature line of another signature by the same key, under this one's comment.
  writeFile(dir / "second", "another file");
  ASSERT_TRUE(runIn(dir.path(), "minisign -S -s k.key -m second"));
  std::string swapped = signatureText();
  const std::string other = readFile(dir / "second.minisig");
  const auto secondLine = [](const std::string& s) {
    const size_t begin = s.find('\n') + 1;
    return s.substr(begin, s.find('\n', begin) - begin);
  };
  swapped.replace(swapped.find(secondLine(swapped)), secondLine(swapped).size(), secondLine(other));
  EXPECT_EQ(verify(key(), swapped), Verdict::BadSignature);
}

}  // namespace
