#include "platform/FileVersion.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

std::optional<FixedFileVersion> systemFileVersion(const std::filesystem::path& path) {
  // A size of 0 means no version resource, or no such file: both are "no version".
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return std::nullopt;

  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length) || value == nullptr) {
    return std::nullopt;
  }
  // VerQueryValueW hands out the root block's value as it is stored: a value too short for a
  // VS_FIXEDFILEINFO, or one without its signature, is no fixed file information, as our own
  // reader judges too.
  if (length < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != 0xFEEF04BD) return std::nullopt;
  return FixedFileVersion{info->dwFileVersionMS, info->dwFileVersionLS};
}

}  // namespace

std::optional<FixedFileVersion> readFixedFileVersion(const std::filesystem::path& path) {
  // The system's reader trusts the sizes in the file: for a version resource that claims
  // almost 4 GiB, Wine's GetFileVersionInfoW copies from past the mapped file and the process
  // dies; for a block too short for what it holds, or a wrong key, it still gives a version.
  // So only a file that our bounds-checked reader finds sound is handed to it; on sound files
  // the two agree (tests/platform), and the system's answer is the one shown.
  if (!readPeFileVersion(path)) return std::nullopt;
  return systemFileVersion(path);
}

}  // namespace platform
