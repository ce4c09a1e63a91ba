// The temporary file an entry is written to before it replaces its target, so that a target
// is only ever replaced whole. It lies beside the target (same directory, so the final rename
// stays on one file system) under a recognisable name, ".<name>.quendral-part-<random>", and
// is created exclusively: a leftover from a killed run has another random name and is never
// reused, truncated or mistaken for a target.
#pragma once

#include <cstdio>
#include <filesystem>
#include <span>

namespace zip {

class PartFile {
public:
  static constexpr std::string_view marker = ".quendral-part-";

  // Creates the file beside target. Throws ZipError when it cannot be created.
  explicit PartFile(const std::filesystem::path& target);
  // Removes the file unless it has replaced its target.
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Throws ZipError when the system refuses (a full disk, say).
  void write(std::span<const std::byte> data);
  // Flushes and closes the file; throws ZipError when that fails.
  void close();
  // Closes the file if need be and renames it over the target. Throws ZipError; the target is
  // then as it was.
  void replaceTarget();

  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path target_;
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  bool renamed_ = false;
};

}  // namespace zip
