// Windows' own reading of version resources (GetFileVersionInfoW) against our PE reader, on
// real executables: the ones that make up Wine itself.
#include "platform/FileVersion.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/RunningUnderCi.h"

namespace {

std::optional<std::string> versionText(const std::optional<platform::FixedFileVersion>& v) {
  if (!v) return std::nullopt;
  return platform::formatFileVersion(*v);
}

// Windows' own answer, straight from the version API: the oracle.
std::optional<std::string> systemVersionText(const std::filesystem::path& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  void* value = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  return platform::formatFileVersion({info->dwFileVersionMS, info->dwFileVersionLS});
}

// Where Debian's wine64 package keeps its PE files, as Wine's drive Z: shows the root.
std::filesystem::path wineLibraryDirectory() {
  if (const char* dir = std::getenv("UPDATER_WINE_PE_DIR")) return dir;
  return L"Z:\\usr\\lib\\x86_64-linux-gnu\\wine\\x86_64-windows";
}

TEST(FileVersionWindows, SystemAndOurReaderAgreeOnWinesOwnExecutables) {
  const auto dir = wineLibraryDirectory();
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) {
    UPDATER_SKIP_OR_FAIL_UNDER_CI() << dir.string() << " is missing (install wine64)";
  }
  int compared = 0;
  int withVersion = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto extension = entry.path().extension();
    if (extension != ".dll" && extension != ".exe") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const auto system = systemVersionText(entry.path());
    EXPECT_EQ(versionText(platform::readPeFileVersion(entry.path())), system);
    EXPECT_EQ(versionText(platform::readFixedFileVersion(entry.path())), system);
    ++compared;
    if (system) ++withVersion;
  }
  // wine64 has some 650 of them, a third with a version resource; a handful would mean the
  // wrong directory.
  EXPECT_GT(compared, 300);
  EXPECT_GT(withVersion, 100);
}

}  // namespace
