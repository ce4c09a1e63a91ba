#include "zip/PartFile.h"

#include <optional>
#include <random>
#include <string>
#include <system_error>

#include "platform/ReplaceFile.h"
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

std::string systemMessage(int error) {
  return std::generic_category().message(error);
}

// A new part file beside target, held; a name taken already is tried again with another.
platform::HeldFile createBeside(const std::filesystem::path& target, std::filesystem::path& path) {
  const std::string name = target.filename().string();
  const std::string prefix = name.size() <= maxNameInPartFile ? "." + name : std::string();
  for (int attempt = 0;; ++attempt) {
    path = target.parent_path() / (prefix + std::string(PartFile::marker) + randomSuffix());
    try {
      return platform::HeldFile::createNew(path);
    } catch (const std::system_error& error) {
      if (error.code() != std::errc::file_exists || attempt == 7) {
        throw ZipError("cannot create a temporary file beside " + target.string() + ": " +
                       systemMessage(error.code().value()));
      }
    }
  }
}

}  // namespace

PartFile::PartFile(const std::filesystem::path& target)
    : target_(target), held_(createBeside(target, path_)) {}

PartFile::~PartFile() {
  if (!renamed_) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void PartFile::write(std::span<const std::byte> data) {
  if (closed_) throw ZipError("cannot write " + path_.string() + ": it is closed");
  try {
    held_.write(data);
  } catch (const std::system_error& error) {
    throw ZipError("cannot write " + path_.string() + ": " + error.code().message());
  }
}

void PartFile::replaceTarget(uint32_t executeBitsIfNew) {
  close();
  // Like overwriting the file in place would: the mode (on Windows the attributes) of the file
  // it replaces stays, which replaceFile sees to, setting it over these bits; a new file is
  // left with them.
  if (executeBitsIfNew != 0) held_.addExecuteBits(executeBitsIfNew);
  try {
    platform::replaceFile(path_, target_);
  } catch (const std::system_error& error) {
    throw ZipError("cannot replace " + target_.string() + ": " + error.code().message());
  }
  renamed_ = true;
  held_.release();
}

void PartFile::removeLeftovers(const std::filesystem::path& directory) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.find(marker) != std::string::npos) platform::removeIfUnheld(it->path());
  }
}

}  // namespace zip
