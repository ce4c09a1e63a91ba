// The resource library as a DLL, bound at load time: the five operations across the DLL
// boundary, the manifest that binds it from Lib\, and a program that does not start without
// it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/ExecutableDirectory.h"
#include "resourcelib/ResourcesUpd.h"
#include "tests/support/ScratchDirectory.h"

namespace {

using testsupport::readFile;
using testsupport::ScratchDirectory;

std::u16string text(size_t (*operation)(ResChar*, size_t)) {
  std::u16string value(operation(nullptr, 0), u'\0');
  operation(reinterpret_cast<ResChar*>(value.data()), value.size());
  return value;
}

TEST(ResourceBinding, TheFiveOperationsAnswerAcrossTheDll) {
  EXPECT_EQ(text(getSistema), u"KUB");
  EXPECT_EQ(text(getUpdatePath), u"https://actualizaciones.quendral.example/kub/");
  EXPECT_EQ(text(getUpdateName), u"VersionesKUB.txt");

  const std::u16string_view key = u"Banner";
  uint32_t argb = 0;
  ASSERT_EQ(
      resColorLookup(getColores(), reinterpret_cast<const ResChar*>(key.data()), key.size(), &argb),
      1);
  EXPECT_EQ(argb, 0xFF1F4E79u);

  const std::u16string_view name = u"LogoBanner";
  ResImageStream* image = getImage(reinterpret_cast<const ResChar*>(name.data()), name.size());
  ASSERT_NE(image, nullptr);
  EXPECT_GT(resImageSize(image), 8u);
  EXPECT_EQ(resImagePosition(image), resImageSize(image));
  resImageSeek(image, 0);
  char signature[4] = {};
  EXPECT_EQ(resImageRead(image, signature, 4), 4u);
  EXPECT_EQ(std::string(signature, 4), "\x89PNG");
  resImageRelease(image);
}

TEST(ResourceBinding, ManifestRunsAsInvokerOnTheSupportedWindowsAndBindsLib) {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no RT_MANIFEST resource 1";
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  for (const char* expected : {
           "level=\"asInvoker\"",
           "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Vista
           "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // 7
           "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // 8
           "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // 8.1
           "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // 10
           "name=\"Lib\"",
       }) {
    EXPECT_NE(manifest.find(expected), std::string::npos) << expected;
  }
}

// Starts program with one argument; its exit code (the loader's status when it refused).
DWORD run(const std::filesystem::path& program, const std::filesystem::path& argument) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\" \"" + argument.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

TEST(ResourceBinding, ProgramStartsOnlyWithLibBesideIt) {
  // No "cannot find DLL" box on Windows: the child inherits this error mode.
  SetErrorMode(SEM_FAILCRITICALERRORS);
  const auto built = platform::executableDirectory();
  ScratchDirectory dir;
  std::filesystem::copy_file(built / "bound_to_resources.exe", dir / "Actualizador.exe");
  const auto out = dir / "sistema.txt";

  constexpr DWORD kDllNotFound = 0xC0000135;  // STATUS_DLL_NOT_FOUND
  EXPECT_EQ(run(dir / "Actualizador.exe", out), kDllNotFound);
  EXPECT_FALSE(std::filesystem::exists(out));

  // The library alone is not enough: Lib\Lib.manifest is what makes Lib\ searched.
  std::filesystem::create_directory(dir / "Lib");
  std::filesystem::copy_file(built / "Lib" / "ResourcesUpd.dll", dir / "Lib" / "ResourcesUpd.dll");
  EXPECT_NE(run(dir / "Actualizador.exe", out), 0u);

  std::filesystem::copy_file(built / "Lib" / "Lib.manifest", dir / "Lib" / "Lib.manifest");
  ASSERT_EQ(run(dir / "Actualizador.exe", out), 0u);
  EXPECT_EQ(readFile(out), "KUB");
}

}  // namespace
