#include "zip/PartFile.h"

#include <cstdio>
#include <random>
#include <system_error>

#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"
#include "zip/ZipError.h"

namespace zip {
namespace {

// Long names leave no room for the marker within a file name's limit; those part files go
// without the target's name.
constexpr size_t maxNameInPartFile = 128;
constexpr size_t suffixLength = 16;

std::string randomSuffix() {
  thread_local std::mt19937_64 generator{(static_cast<uint64_t>(std::random_device{}()) << 32) ^
                                         std::random_device{}()};
  char text[suffixLength + 1];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
  return text;
}

std::string shown(const platform::Directory& folder, const std::string& name) {
  return platform::utf8Of(folder.path() / platform::pathOfUtf8(name));
}

// A new part file beside target, held; a name taken already is tried again with another.
platform::HeldFile createBeside(const platform::Directory& folder, const std::string& target,
                                std::string& name) {
  const std::string prefix = target.size() <= maxNameInPartFile ? "." + target : std::string();
  for (int attempt = 0;; ++attempt) {
    name = prefix + std::string(PartFile::marker) + randomSuffix();
    try {
      return folder.createHeldFile(name);
    } catch (const std::system_error& error) {
      if (error.code() != std::errc::file_exists || attempt == 7) {
        throw ZipError("cannot create a temporary file beside " + shown(folder, target) + ": " +
                       error.code().message());
      }
    }
  }
}

}  // namespace

PartFile::PartFile(const platform::Directory& folder, std::string target)
    : folder_(folder), target_(std::move(target)), held_(createBeside(folder, target_, name_)) {}

PartFile::~PartFile() {
  if (!renamed_) folder_.remove(name_);
}

void PartFile::write(std::span<const std::byte> data) {
  if (closed_) throw ZipError("cannot write " + shown(folder_, name_) + ": it is closed");
  try {
    held_.write(data);
  } catch (const std::system_error& error) {
    throw ZipError("cannot write " + shown(folder_, name_) + ": " + error.code().message());
  }
}

void PartFile::replaceTarget(const platform::FileStatus& replaced, const FileStamp& stamp) {
  close();
  // Before the rename, so that the file never shows the moment it was written.
  held_.setLastWriteTimeFromDos(stamp.dosDate, stamp.dosTime);
  try {
    platform::replaceFile(folder_, held_, name_, target_, replaced, stamp.executeBitsIfNew);
  } catch (const std::system_error& error) {
    throw ZipError("cannot replace " + shown(folder_, target_) + ": " + error.code().message());
  }
  renamed_ = true;
  // After the rename: a read-only file may not be renamed over another on Windows.
  held_.applyAttributes(stamp.attributes);
  held_.release();
}

bool PartFile::isPartFileName(std::string_view name) {
  if (name.size() < marker.size() + suffixLength) return false;
  const std::string_view suffix = name.substr(name.size() - suffixLength);
  for (const char digit : suffix) {
    if (!((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f'))) return false;
  }
  const std::string_view front = name.substr(0, name.size() - suffixLength);
  if (!front.ends_with(marker)) return false;
  // Either the marker alone, or "." and a target's name before it.
  return front.size() == marker.size() || (front.size() > marker.size() + 1 && front[0] == '.');
}

void PartFile::removeLeftovers(const platform::Directory& folder,
                               const std::function<bool(const std::string&)>& isTarget) {
  for (const std::string& name : folder.names()) {
    if (isPartFileName(name) && !isTarget(name)) folder.removeIfUnheld(name);
  }
}

}  // namespace zip
