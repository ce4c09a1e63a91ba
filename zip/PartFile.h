// The temporary file an entry is written to before it replaces its target, so that a target
// is only ever replaced whole. It lies beside the target (same directory, so the final rename
// stays on one file system) under a recognisable name, ".<name>.quendral-part-<random>", and
// is created exclusively and held (platform::HeldFile) until it has replaced its target or is
// removed: a leftover of a killed run is the only kind that no one holds, and
// removeLeftovers() takes those away.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

#include "platform/HeldFile.h"

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
  // Ends the writing; the file stays held.
  void close() { closed_ = true; }
  // Closes the file if need be and puts it in the target's place (platform::replaceFile), so
  // that it keeps what the target was (its mode; on Windows its attributes); a target that
  // does not exist yet is created with executeBitsIfNew added. Throws ZipError; the target is
  // then as it was.
  void replaceTarget(uint32_t executeBitsIfNew = 0);

  const std::filesystem::path& path() const { return path_; }

  // Removes the part files in directory that no one holds: what killed extractions left.
  // Part files being written by anyone stay. Failures are ignored.
  static void removeLeftovers(const std::filesystem::path& directory);

private:
  std::filesystem::path target_;
  std::filesystem::path path_;
  platform::HeldFile held_;
  bool closed_ = false;
  bool renamed_ = false;
};

}  // namespace zip
