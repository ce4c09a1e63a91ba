// Our PE reader against exiftool on real executables: the ones Debian's wine64 installs.
// Under Wine the same files are checked against Windows' own version API
// (FileVersionTest_win.cpp).
#include "platform/FileVersion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "tests/support/RequiredTools.h"
#include "tests/support/ScratchDirectory.h"

namespace {

const char* const kWineLibraryDirectory = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";

// exiftool's file version of every .dll and .exe in directory, "-" where it finds none.
std::map<std::string, std::string> exiftoolVersions(const std::string& directory) {
  std::map<std::string, std::string> versions;
  const std::string command =
      "exiftool -q -q -T -FileName -FileVersionNumber -ext dll -ext exe '" + directory + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return versions;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const auto tab = text.find('\t');
    if (tab != std::string::npos) versions[text.substr(0, tab)] = text.substr(tab + 1);
  }
  ::pclose(pipe);
  return versions;
}

TEST(FileVersionPosix, OurReaderAgreesWithExiftoolOnWinesExecutables) {
  UPDATER_REQUIRE_TOOLS("exiftool", "/usr/lib/wine/wine64");
  const auto versions = exiftoolVersions(kWineLibraryDirectory);
  int withVersion = 0;
  for (const auto& [name, expected] : versions) {
    SCOPED_TRACE(name);
    const auto version =
        platform::readPeFileVersion(std::filesystem::path(kWineLibraryDirectory) / name);
    EXPECT_EQ(version ? platform::formatFileVersion(*version) : "-", expected);
    if (version) ++withVersion;
  }
  // wine64 has some 650 of them, a third with a version resource.
  EXPECT_GT(versions.size(), 300u);
  EXPECT_GT(withVersion, 100);
}

}  // namespace
