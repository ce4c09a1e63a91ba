// GetModuleFileNameW: the directory is right however long the path and whatever its letters.
#include "platform/ExecutableDirectory.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/platform/TempDir.h"

namespace {

using platformtest::readFile;
using platformtest::TempDir;

// Starts program with one argument and waits for it; its exit code, or -1 when it did not start.
long run(const std::filesystem::path& program, const std::filesystem::path& argument) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\" \"" + argument.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const std::wstring application = L"\\\\?\\" + program.wstring();
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError() << ", " << program.native().size();
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
}

std::string utf8(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return {text.begin(), text.end()};
}

TEST(ExecutableDirectoryWindows, NonAsciiDirectoriesAreReportedWhole) {
  const auto helper = platform::executableDirectory() / L"print_executable_directory.exe";
  ASSERT_TRUE(std::filesystem::exists(helper));
  TempDir dir;
  // Letters no single code page has (Spanish, Greek, Japanese), in a path nearly as long as
  // MAX_PATH (260). Wine starts no program from a longer path (CreateProcessW fails with
  // ERROR_FILE_NOT_FOUND, with or without the \\?\ prefix), so the case of a path longer
  // than the first buffer is left to Windows itself.
  auto deep = dir.path() / L"Facturaci\u00f3n \u0391\u03c1\u03c7\u03b5\u03af\u03b1 \u8acb\u6c42";
  ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  while (deep.native().size() < 200) {
    deep /= L"subcarpeta-m\u00e1s-larga";
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
  }
  ASSERT_TRUE(CopyFileW(helper.c_str(), (deep / L"Actualizaci\u00f3n.exe").c_str(), TRUE));

  ASSERT_EQ(run(deep / L"Actualizaci\u00f3n.exe", dir / "out.txt"), 0);
  EXPECT_EQ(readFile(dir / "out.txt"), utf8(deep) + "\\");
}

TEST(ExecutableDirectoryWindows, WithTrailingSeparatorOnWindowsPaths) {
  struct Row {
    std::filesystem::path directory;
    std::string text;
  };
  for (const Row& row : {
           Row{L"C:\\Quendral", "C:\\Quendral\\"},
           Row{L"C:\\Quendral\\", "C:\\Quendral\\"},
           Row{L"C:/Quendral/", "C:/Quendral/"},
           Row{L"\\\\server\\share\\Quendral", "\\\\server\\share\\Quendral\\"},
       }) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(platform::withTrailingSeparator(row.directory), row.text);
  }
}

}  // namespace
