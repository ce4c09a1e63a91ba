// The real executable with a real resource library, started as a user starts it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

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

struct ProcessResult {
  int exitCode;
  QProcess::ExitStatus status;
  QString standardError;
};

ProcessResult run(const QString& program, const QStringList& arguments, const QString& qtPlatform) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  if (!qtPlatform.isEmpty()) environment.insert("QT_QPA_PLATFORM", qtPlatform);
  process.setProcessEnvironment(environment);
  process.setWorkingDirectory(QDir::tempPath());
  process.start(program, arguments);
  EXPECT_TRUE(process.waitForFinished(60000)) << "the process did not end";
  return {process.exitCode(), process.exitStatus(), QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(Process, RefusesToStartWithoutTheResourceLibrary) {
  InstallTree tree(nullptr);
  const ProcessResult result = run(tree.executable(), {}, "offscreen");
  EXPECT_NE(result.exitCode, 0);
  EXPECT_TRUE(result.standardError.contains("libResourcesUpd.so")) << result.standardError.toStdString();
}

TEST(Process, MissingColourKeyEndsStartUpWithExitCode1AndTheTwoLines) {
  InstallTree tree(NO_SUBTITLE_COLOUR_LIB);
  const ProcessResult result = run(tree.executable(), {}, "offscreen");
  EXPECT_EQ(result.status, QProcess::NormalExit);
  EXPECT_EQ(result.exitCode, 1);
  const QStringList lines = result.standardError.split('\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 2) << result.standardError.toStdString();
  EXPECT_TRUE(QRegularExpression("^Exception ItemNotFoundError in module updater at [0-9A-F]+\\.$")
                  .match(lines[lines.size() - 2])
                  .hasMatch())
      << lines[lines.size() - 2].toStdString();
  EXPECT_EQ(lines.last(), "Item not found.");
}

TEST(Process, SalirEndsTheProgramWithExitCode0) {
  if (QStandardPaths::findExecutable("xvfb-run").isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
    GTEST_SKIP() << "needs xvfb-run and xdotool";
  InstallTree tree(KUB_LIB);
  const ProcessResult result = run("xvfb-run", {"-a", "-s", "-screen 0 1024x768x24", CLICK_SALIR_SCRIPT, tree.path()}, "xcb");
  EXPECT_EQ(result.exitCode, 0) << result.standardError.toStdString();
}

}  // namespace
