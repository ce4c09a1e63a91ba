// Files for the ZIP tests: a fresh directory per test, removed afterwards, and small helpers
// to write and read files and to run the archivers that make interoperability fixtures
// (tests/support/RequiredTools.h says whether they are there).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

namespace testsupport {

class ScratchDirectory {
public:
  ScratchDirectory() {
    // create_directory says false for a name that exists, so two tests (or two programs)
    // never share one. Portable where mkdtemp is not (MinGW).
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      auto candidate = base / ("ziptest-" + std::to_string(generator()));
      if (std::filesystem::create_directory(candidate)) {
        path_ = std::move(candidate);
        return;
      }
    }
    throw std::runtime_error("cannot make a scratch directory in " + base.string());
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    // Tests leave read-only files and directories; give write access back so removal works.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink()) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
  std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a shell command in directory, its output discarded; true when it succeeded.
inline bool runIn(const std::filesystem::path& directory, const std::string& command) {
  const std::string line = "cd '" + directory.string() + "' && (" + command + ") >/dev/null 2>&1";
  return std::system(line.c_str()) == 0;
}

}  // namespace testsupport
