#include "zip/PartFile.h"

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>
#include <system_error>

#include "platform/ReplaceFile.h"
#include "platform/Utf8Path.h"
#include "zip/BaseDirectory.h"
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

bool refusedForSpace(const std::error_code& code) {
#ifdef EDQUOT
  if (code.category() == std::generic_category() && code.value() == EDQUOT) return true;
#endif
  return code == std::errc::no_space_on_device || code == std::errc::io_error ||
         code == std::errc::read_only_file_system;
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
        if (refusedForSpace(error.code())) {
          throw WriteRefused("cannot create a temporary file beside " + shown(folder, target) +
                             ": " + error.code().message());
        }
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
  if (!staged_) folder_.remove(name_);
}

void PartFile::write(std::span<const std::byte> data) {
  if (closed_) throw ZipError("cannot write " + shown(folder_, name_) + ": it is closed");
  try {
    held_.write(data);
  } catch (const std::system_error& error) {
    throw WriteRefused("cannot write " + shown(folder_, name_) + ": " + error.code().message());
  }
}

std::string PartFile::stage(const FileStamp& stamp) {
  close();
  held_.setLastWriteTimeFromDos(stamp.dosDate, stamp.dosTime);
  if (!held_.flushIfFileByFile()) {
    throw WriteRefused("cannot write " + shown(folder_, name_) + " to the disk");
  }
  held_.release();
  staged_ = true;
  return name_;
}

void PartFile::install(const platform::Directory& folder, const std::string& part,
                       const std::string& target, const FileStamp& stamp) {
  platform::Directory::Held outcome = platform::Directory::Held::NotHere;
  std::optional<platform::HeldFile> held = folder.openHeldFile(part, outcome);
  if (!held) throw ZipError("the decoded file " + shown(folder, part) + " is gone");
  const platform::FileStatus replaced = BaseDirectory::checkReplaceable(folder, target);
  try {
    platform::replaceFile(folder, *held, part, target, replaced, stamp.executeBitsIfNew);
  } catch (const std::system_error& error) {
    throw ZipError("cannot replace " + shown(folder, target) + ": " + error.code().message());
  }
  held->applyAttributes(stamp.attributes);
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

bool PartFile::isPartFileOf(std::string_view name, std::string_view target) {
  if (!isPartFileName(name)) return false;
  const std::string_view front = name.substr(0, name.size() - suffixLength - marker.size());
  if (target.size() > maxNameInPartFile) return front.empty();
  return front.size() == target.size() + 1 && front.substr(1) == target;
}

void PartFile::removeLeftovers(const platform::Directory& folder,
                               const std::function<bool(const std::string&)>& isTarget) {
  for (const std::string& name : folder.names()) {
    if (isPartFileName(name) && !isTarget(name)) folder.removeIfUnheld(name);
  }
}

}  // namespace zip
