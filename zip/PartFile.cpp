#include "zip/PartFile.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <system_error>

#include "zip/ZipError.h"

namespace zip {
namespace {

// Long names leave no room for the marker within a file name's limit; those part files go
// without the target's name.
constexpr size_t maxNameInPartFile = 128;

std::string randomSuffix() {
  thread_local std::mt19937_64 generator{(static_cast<uint64_t>(std::random_device{}()) << 32) ^
                                         std::random_device{}()};
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

std::FILE* createExclusively(const std::filesystem::path& path) {
#ifdef _WIN32
  return _wfopen(path.c_str(), L"wbx");
#else
  return std::fopen(path.c_str(), "wbx");  // "x": fails when the file exists (O_EXCL)
#endif
}

std::string systemMessage(int error) {
  return std::generic_category().message(error);
}

}  // namespace

PartFile::PartFile(const std::filesystem::path& target) : target_(target) {
  const std::string name = target.filename().string();
  const std::string prefix = name.size() <= maxNameInPartFile ? "." + name : std::string();
  for (int attempt = 0; attempt < 8 && file_ == nullptr; ++attempt) {
    path_ = target.parent_path() / (prefix + std::string(marker) + randomSuffix());
    file_ = createExclusively(path_);
    if (file_ == nullptr && errno != EEXIST) break;
  }
  if (file_ == nullptr) {
    throw ZipError("cannot create a temporary file beside " + target.string() + ": " +
                   systemMessage(errno));
  }
}

PartFile::~PartFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!renamed_) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void PartFile::write(std::span<const std::byte> data) {
  if (std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
    throw ZipError("cannot write " + path_.string() + ": " + systemMessage(errno));
  }
}

void PartFile::close() {
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) {
    throw ZipError("cannot write " + path_.string() + ": " + systemMessage(errno));
  }
}

void PartFile::replaceTarget() {
  close();
  std::error_code error;
  std::filesystem::rename(path_, target_, error);
  if (error) throw ZipError("cannot replace " + target_.string() + ": " + error.message());
  renamed_ = true;
}

}  // namespace zip
