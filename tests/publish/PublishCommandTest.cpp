// quendral-publish run as a vendor runs it: what it publishes, and every refusal, after which
// nothing is written.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "signature/PublicKey.h"
#include "signature/StreamingHash.h"
#include "signature/Verifier.h"
#include "tests/support/PeFixture.h"
#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

constexpr char kArchive[] = "KUBUpdate-ESC.2.4.1.7.zip";

struct Outcome {
  int exitCode;
  std::string output;
  std::string errors;
};

class PublishCommand : public ::testing::Test {
protected:
  void SetUp() override {
    UPDATER_REQUIRE_TOOLS("zip", "minisign");
    release("2.4.1.7", "Nuevo informe.\nCorrige el redondeo.\n");
  }

  // The release folder: two files, a sub-folder, Quendral.exe of the version, the changes.
  void release(const std::string& version, const std::string& changes) {
    fs::remove_all(dir / "rel");
    writeFile(dir / "rel" / "LEEME.txt", "Quendral " + version + "\n");
    writeFile(dir / "rel" / "Informes" / "Ventas.rpt", "[Informe]\n");
    writeFile(dir / "rel" / "changes.txt", changes);
    quendral(version);
  }
  void quendral(const std::string& version) {
    testsupport::PeOptions options;
    options.fileVersion = *testsupport::parseVersionQuad(version);
    testsupport::writeFileBytes(dir / "rel" / "Quendral.exe",
                                testsupport::buildPeFixture(options).bytes);
  }

  // Runs the command in the scratch folder; environment: what the shell line puts before it
  // (assignments, or a pipe into it).
  Outcome runCommand(const std::string& arguments, const std::string& environment = "") {
    const std::string command = "cd '" + dir.path().string() + "' && " + environment + " '" +
                                PUBLISH_EXECUTABLE + "' " + arguments + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(dir / "out.txt"),
            readFile(dir / "err.txt")};
  }
  // The release of rel/ into srv/ under version, with extra arguments.
  Outcome publish(const std::string& version, const std::string& extra,
                  const std::string& environment = "") {
    return runCommand("--code KUB --version " + version +
                          " --from rel --changes rel/changes.txt --history srv/VersionesKUB.txt "
                          "--out srv " +
                          extra,
                      environment);
  }

  std::string history() const { return readFile(dir / "srv" / "VersionesKUB.txt"); }
  // Every file in srv/, by name, with its content's hash: a refusal leaves it as it was.
  std::string serverFolder() const {
    std::set<std::string> files;
    if (!fs::exists(dir / "srv")) return {};
    for (const auto& entry : fs::directory_iterator(dir / "srv"))
      files.insert(entry.path().filename().string() + " " +
                   std::to_string(std::hash<std::string>()(readFile(entry.path()))));
    std::string all;
    for (const std::string& file : files) all += file + "\n";
    return all;
  }

  testsupport::ScratchDirectory dir;
};

TEST_F(PublishCommand, PublishesASignedReleaseThatBothVerifiersTake) {
  ASSERT_TRUE(testsupport::runIn(dir.path(), "minisign -G -W -p k.pub -s k.key"));
  const Outcome run = publish("2.4.1.7", "--sign k.key");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(history(),
            "\xEF\xBB\xBFKUB 2.4.1.7\r\n- Nuevo informe.\r\n- Corrige el redondeo.\r\n\r\n");
  for (const char* file :
       {"KUBUpdate-ESC.2.4.1.7.zip", "KUBUpdate-ESC.2.4.1.7.zip.minisig", "VersionesKUB.txt"})
    EXPECT_NE(run.output.find(fs::absolute(dir / "srv" / file).string()), std::string::npos)
        << file << " in " << run.output;
  EXPECT_TRUE(
      testsupport::runIn(dir / "srv", std::string("minisign -V -p ../k.pub -m ") + kArchive));
  EXPECT_EQ(signature::verifyFile(signature::PublicKey::fromFileText(readFile(dir / "k.pub")),
                                  readFile(dir / "srv" / (std::string(kArchive) + ".minisig")),
                                  signature::hashFile(dir / "srv" / kArchive), kArchive),
            signature::Verdict::Verified);
  // The archive holds the release but not its change list, under the updater's password.
  EXPECT_TRUE(testsupport::runIn(
      dir.path(), "unzip -l srv/" + std::string(kArchive) + " | grep -q Informes/Ventas.rpt"));
  EXPECT_FALSE(testsupport::runIn(
      dir.path(), "unzip -l srv/" + std::string(kArchive) + " | grep -q changes.txt"));
}

// A vendor's key has a password: read from standard input when that is not a terminal.
TEST_F(PublishCommand, AKeyWithAPasswordSigns) {
  ASSERT_TRUE(testsupport::runIn(dir.path(),
                                 "printf 'secreto\\nsecreto\\n' | minisign -G -p k.pub -s k.key"));
  // (A wrong password is refused by the key's own check: MinisignPeerTest. Each try costs an
  // scrypt derivation of the tool's strength, seconds.)
  const Outcome right = publish("2.4.1.7", "--sign k.key", "printf 'secreto\\n' |");
  ASSERT_EQ(right.exitCode, 0) << right.errors;
  EXPECT_TRUE(
      testsupport::runIn(dir / "srv", std::string("minisign -V -p ../k.pub -m ") + kArchive));
}

TEST_F(PublishCommand, TheSameVersionAgainReplacesItsBlockOnlyWhenToldTo) {
  ASSERT_EQ(publish("2.4.1.7", "").exitCode, 0);
  const std::string first = serverFolder();
  release("2.4.1.7", "Nuevo informe.\nCorrige el redondeo.\nY otra cosa.\n");
  const Outcome again = publish("2.4.1.7", "");
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.errors.find("not newer"), std::string::npos) << again.errors;
  EXPECT_EQ(serverFolder(), first) << "nothing written";
  ASSERT_EQ(publish("2.4.1.7", "--replace").exitCode, 0);
  EXPECT_EQ(history(),
            "\xEF\xBB\xBFKUB 2.4.1.7\r\n- Nuevo informe.\r\n- Corrige el redondeo.\r\n"
            "- Y otra cosa.\r\n\r\n")
      << "one block";
}

TEST_F(PublishCommand, RefusalsWriteNothing) {
  ASSERT_EQ(publish("2.4.1.7", "").exitCode, 0);
  const std::string published = serverFolder();
  // A zip that leaves a file out: the read-back must notice.
  writeFile(dir / "bin" / "zip", "#!/bin/sh\nexec /usr/bin/zip \"$@\" -x LEEME.txt\n");
  fs::permissions(dir / "bin" / "zip", fs::perms::owner_all);
  const struct {
    const char* name;
    const char* version;
    const char* quendral;
    const char* extra;
    const char* environment;
    const char* message;
  } rows[] = {
      {"an older version", "2.4.1.6", "2.4.1.6", "", "", "not newer"},
      {"an older version with --replace and no block", "2.4.1.6", "2.4.1.6", "--replace", "",
       "no block to replace"},
      {"Quendral.exe of another version", "2.4.1.8", "2.4.1.7", "", "", "carries version 2.4.1.7"},
      {"an archive that does not read back", "2.4.1.8", "2.4.1.8", "", "PATH=\"$PWD/bin:$PATH\"",
       "LEEME.txt: in the release, not in the archive"},
      {"a signing key that is not one", "2.4.1.8", "2.4.1.8", "--sign rel/LEEME.txt", "",
       "secret key"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    quendral(row.quendral);
    const Outcome run = publish(row.version, row.extra, row.environment);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find(row.message), std::string::npos) << run.errors;
    EXPECT_EQ(serverFolder(), published);
  }
}

TEST_F(PublishCommand, ComparesVersionsAsNumbers) {
  release("2.4.1.9", "a\n");
  ASSERT_EQ(publish("2.4.1.9", "").exitCode, 0);
  release("2.4.1.10", "b\n");
  const Outcome run = publish("2.4.1.10", "");
  EXPECT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(history(), "\xEF\xBB\xBFKUB 2.4.1.9\r\n- a\r\n\r\nKUB 2.4.1.10\r\n- b\r\n\r\n");
}

TEST_F(PublishCommand, HelpAndWrongCommandLines) {
  const Outcome help = runCommand("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("Exit codes"), std::string::npos);
  const struct {
    const char* arguments;
    const char* message;
  } rows[] = {
      {"--code KUB", "--version is missing"},
      {"--bogus", "unknown argument --bogus"},
      {"--code KUB --version 2.4.1 --from r --changes c --history h --out o", "four numbers"},
      {"--code K-B --version 2.4.1.7 --from r --changes c --history h --out o", "system code"},
      {"--sign", "needs a value"},
  };
  for (const auto& row : rows) {
    const Outcome run = runCommand(row.arguments);
    EXPECT_EQ(run.exitCode, 2) << row.arguments;
    EXPECT_NE(run.errors.find(row.message), std::string::npos) << run.errors;
  }
}

}  // namespace
