// The real executable with a real resource library, started as a user starts it.
#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <filesystem>
#include "platform/FileVersion.h"
#include "tests/support/PeFixture.h"
#include "tests/support/RequiredTools.h"

namespace {

namespace fs = std::filesystem;

// An install tree in a temporary directory: the updater and, when given, a Lib/ folder.
class InstallTree {
public:
  explicit InstallTree(const char* libraryDirectory) {
    const fs::path root(dir_.path().toStdString());
    fs::copy_file(UPDATER_EXECUTABLE, root / "updater");
    if (libraryDirectory != nullptr) {
      fs::create_directory(root / "Lib");
      for (const auto& file : fs::directory_iterator(libraryDirectory))
        fs::copy_file(file.path(), root / "Lib" / file.path().filename());
    }
  }
  QString path() const { return dir_.path(); }
  QString executable() const { return dir_.filePath("updater"); }

private:
  QTemporaryDir dir_;
};

struct Outcome {
  int exitCode;
  QProcess::ExitStatus status;
  QString standardError;
};

Outcome run(const QString& program, const QStringList& arguments, const QString& qtPlatform) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!qtPlatform.isEmpty()) environment.insert("QT_QPA_PLATFORM", qtPlatform);
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(QDir::tempPath());
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(60000)) << "the process did not end";
  return {process.exitCode(), process.exitStatus(),
          QString::fromLocal8Bit(process.readAllStandardError())};
}

// A run of a script under a virtual X screen of its own, on Qt's X11 platform.
Outcome runOnScreen(const char* script, QStringList arguments) {
  arguments.prepend(script);
  return run("xvfb-run", QStringList{"-a", "-s", "-screen 0 1024x768x24"} + arguments, "xcb");
}

// The lines a start that a library fault ends writes to standard error, after checking that it
// ended with exit code 1.
QStringList startUpFailureLines(const char* libraryDirectory) {
  InstallTree tree(libraryDirectory);
  const Outcome result = run(tree.executable(), {}, "offscreen");
  EXPECT_EQ(result.status, QProcess::NormalExit);
  EXPECT_EQ(result.exitCode, 1);
  return result.standardError.split('\n', Qt::SkipEmptyParts);
}

TEST(Process, RefusesToStartWithoutTheResourceLibrary) {
  InstallTree tree(nullptr);
  const Outcome result = run(tree.executable(), {}, "offscreen");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(result.standardError.contains("libResourcesUpd.so"))
      << result.standardError.toStdString();
}

// Every operation is bound before the program's own code runs: with a platform that does not
// exist, any start of ours would end in Qt's complaint about it instead of the loader's.
TEST(Process, RefusesToStartWithALibraryThatLacksAnOperation) {
  InstallTree tree(WITHOUT_GETIMAGE_LIB);
  const Outcome result = run(tree.executable(), {}, "no-such-platform");
  EXPECT_EQ(result.status, QProcess::NormalExit);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(result.standardError.contains("getImage")) << result.standardError.toStdString();
  EXPECT_FALSE(result.standardError.contains("platform plugin"))
      << result.standardError.toStdString();
}

TEST(Process, MissingColourKeyEndsStartUpWithExitCode1AndTheTwoLines) {
  const QStringList lines = startUpFailureLines(NO_SUBTITLE_COLOUR_LIB);
  ASSERT_GE(lines.size(), 2) << lines.join('\n').toStdString();
  EXPECT_TRUE(QRegularExpression("^Exception ItemNotFoundError in module updater at [0-9A-F]+\\.$")
                  .match(lines[lines.size() - 2])
                  .hasMatch())
      << lines[lines.size() - 2].toStdString();
  EXPECT_EQ(lines.last(), "Item not found.");
}

TEST(Process, AMalformedUpdateKeyEndsStartUpWithExitCode1AndTheTwoLines) {
  const QStringList lines = startUpFailureLines(MALFORMED_KEY_LIB);
  ASSERT_GE(lines.size(), 2) << lines.join('\n').toStdString();
  EXPECT_TRUE(lines[lines.size() - 2].startsWith("Exception FormatError in module updater"))
      << lines[lines.size() - 2].toStdString();
  EXPECT_TRUE(lines.last().contains("update key is not a minisign public key"))
      << lines.last().toStdString();
}

// A product line's library made before getUpdateKey existed: the program does not import it,
// so the library still serves, as one of a product line that does not sign.
TEST(Process, StartsWithALibraryWithoutTheUpdateKeyOperation) {
  UPDATER_REQUIRE_TOOLS("xvfb-run", "xdotool");
  InstallTree tree(FIVE_OPERATIONS_LIB);
  const Outcome result = runOnScreen(CLICK_SALIR_SCRIPT, {tree.path()});
  EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
}

// An install tree of the end-to-end product line with Quendral.exe 2.4.1.6, and an update
// server's folder with the release 2.4.1.7 published and signed by the vendors' command with the
// key whose public half the product line's library carries.
class EndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    UPDATER_REQUIRE_TOOLS("xvfb-run", "xdotool", "python3", "zip");
    writeQuendral(fs::path(tree.path().toStdString()) / "Quendral.exe", {2, 4, 1, 6});
    const fs::path release = fs::path(work.path().toStdString()) / "release";
    fs::copy(fs::path(SOURCE_DIR) / "demo/releases/2.4.1.7", release, fs::copy_options::recursive);
    writeQuendral(release / "Quendral.exe", {2, 4, 1, 7});
    const Outcome made = run(PUBLISH_EXECUTABLE,
                             {"--code", "KUB", "--version", "2.4.1.7", "--from",
                              QString::fromStdString(release.string()), "--changes",
                              QString::fromStdString((release / "changes.txt").string()),
                              "--history", serverDir() + "/kub/VersionesKUB.txt", "--out",
                              serverDir() + "/kub", "--sign", END_TO_END_SIGNING_KEY},
                             {});
    ASSERT_EQ(made.exitCode, 0) << made.standardError.toStdString();
  }

  static void writeQuendral(const fs::path& path, testsupport::VersionQuad version) {
    testsupport::PeOptions options;
    options.fileVersion = version;
    testsupport::writeFileBytes(path, testsupport::buildPeFixture(options).bytes);
  }
  QString serverDir() const { return work.filePath("server"); }
  Outcome drive(const char* scenario) {
    return runOnScreen(END_TO_END_SCRIPT, {scenario, tree.path(), serverDir(), "18473"});
  }

  InstallTree tree{END_TO_END_LIB};
  QTemporaryDir work;
};

TEST_F(EndToEnd, CheckAndUpdateInstallTheNewRelease) {
  const Outcome result = drive("install");
  ASSERT_EQ(result.exitCode, 0) << result.standardError.toStdString();
  const fs::path root = tree.path().toStdString();
  const auto version = platform::readFixedFileVersion(root / "Quendral.exe");
  ASSERT_TRUE(version);
  EXPECT_EQ(platform::formatFileVersion(*version), "2.4.1.7");
  EXPECT_TRUE(fs::exists(root / "LEEME.txt"));
  EXPECT_TRUE(fs::exists(root / "Informes" / "VentasPorCliente.rpt"));
  EXPECT_TRUE(fs::exists(root / "Update" / "KUBUpdate-ESC.2.4.1.7.zip"))
      << "downloaded archives stay";
  EXPECT_FALSE(fs::exists(root / "Update" / "KUBUpdate-ESC.2.4.1.7.zip.minisig"))
      << "the signature is checked in memory";
  EXPECT_FALSE(fs::exists(root / "Update" / "VersionesKUB.txt"))
      << "the copy of the history is gone";
}

TEST_F(EndToEnd, SalirEndsTheProcessAtOnceWhileAnUpdateKeepsTrying) {
  const Outcome result = drive("close-while-updating");
  EXPECT_EQ(result.status, QProcess::NormalExit);
  EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
  EXPECT_FALSE(result.standardError.contains("QThread: Destroyed"))
      << result.standardError.toStdString();
}

TEST(Process, TitleBarIsEmptyAndSalirEndsTheProgramWithExitCode0) {
  UPDATER_REQUIRE_TOOLS("xvfb-run", "xdotool");
  InstallTree tree(KUB_LIB);
  const Outcome result = runOnScreen(CLICK_SALIR_SCRIPT, {tree.path()});
  EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
  EXPECT_TRUE(result.standardError.contains("title:[]")) << result.standardError.toStdString();
}

}  // namespace
