// The rules that keep an extraction's writes inside its base directory, on disk: the base
// taken as its canonical path, the directories of a target created one level at a time
// without ever following a symbolic link out of the base, the target of a confined name
// (TargetPath.h makes the names), and whether an existing target may be replaced.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "zip/ZipError.h"

namespace zip {

// A failure that ends the whole extraction rather than one entry: a directory that is to hold
// targets cannot be made, so nothing after it could be placed where it belongs either.
class ExtractionEnded : public ZipError {
public:
  using ZipError::ZipError;
};

class BaseDirectory {
public:
  // Throws ZipError when the directory does not exist.
  explicit BaseDirectory(const std::filesystem::path& directory);

  const std::filesystem::path& path() const { return canonical_; }

  // The path of the confined elements below the base (no check of what is on disk).
  std::filesystem::path targetOf(const std::vector<std::string>& elements) const;

  // Creates the first `count` elements as directories where they are missing. A symbolic link
  // among them is followed only when it stays inside the base: false when one leads outside
  // (nothing is created past it). Throws ExtractionEnded when a file stands where a directory
  // is needed or a directory cannot be created. A directory found or made once is taken as
  // there for the later calls: an extraction meets the same directories entry after entry.
  bool makeDirectories(const std::vector<std::string>& elements, size_t count) const;

  // Throws ZipError when path is a symbolic link that leads outside the base. Returns the
  // status of what path leads to, for checkReplaceable.
  std::filesystem::file_status checkNotOutside(const std::filesystem::path& path) const;

  // Throws ZipError, with the reason, unless a file at target may be replaced: missing, or a
  // regular file that is neither read-only nor held by another opener of this program.
  // Holders::Ignore leaves out the test for another opener, which costs opening the file.
  enum class Holders { Probe, Ignore };
  static void checkReplaceable(const std::filesystem::path& target,
                               Holders holders = Holders::Probe);
  // The same with the target's status known already.
  static void checkReplaceable(const std::filesystem::path& target,
                               const std::filesystem::file_status& status, Holders holders);

private:
  bool contains(const std::filesystem::path& canonicalPath) const;

  std::filesystem::path canonical_;
  mutable std::unordered_set<std::filesystem::path::string_type> knownDirectories_;
};

}  // namespace zip
