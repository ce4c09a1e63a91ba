#include "zip/BaseDirectory.h"

#include <system_error>

#include "platform/FileNameKey.h"
#include "platform/Utf8Path.h"

namespace zip {
namespace fs = std::filesystem;

namespace {

// Folders held open beside those the pending entries hold: enough for a walk that goes back
// and forth between a few neighbouring folders.
constexpr size_t recentFolders = 32;
// Expired folders are forgotten when this many have been opened.
constexpr size_t forgetAt = 4096;

std::string shown(const platform::Directory& parent, const std::string& name) {
  return platform::utf8Of(parent.path() / platform::pathOfUtf8(name));
}

fs::path canonicalDirectory(const fs::path& directory) {
  std::error_code error;
  fs::path canonical = fs::canonical(directory, error);
  if (error || !fs::is_directory(canonical)) {
    throw ZipError("the base directory " + platform::utf8Of(directory) + " does not exist");
  }
  return canonical;
}

}  // namespace

BaseDirectory::BaseDirectory(const fs::path& directory) {
  const fs::path canonical = canonicalDirectory(directory);
  try {
    base_ = std::make_shared<const platform::Directory>(platform::Directory::open(canonical));
  } catch (const std::system_error& error) {
    throw ZipError("the base directory " + platform::utf8Of(canonical) +
                   " cannot be opened: " + error.code().message());
  }
}

BaseDirectory::Folder BaseDirectory::folder(const std::vector<std::string>& elements,
                                            size_t count) {
  return walk(elements, count, true);
}

BaseDirectory::Folder BaseDirectory::existingFolder(const std::vector<std::string>& elements,
                                                    size_t count) {
  try {
    return walk(elements, count, false);
  } catch (const ZipError&) {
    return nullptr;
  }
}

BaseDirectory::Folder BaseDirectory::walk(const std::vector<std::string>& elements, size_t count,
                                          bool make) {
  if (count == 0) return base_;
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "/") + elements[i];
  const std::string key = platform::fileNameKey(path);
  // Where each level's key ends: the elements hold no "/", and folding keeps it.
  std::vector<size_t> ends;
  for (size_t at = key.find('/'); at != std::string::npos; at = key.find('/', at + 1)) {
    ends.push_back(at);
  }
  ends.push_back(key.size());
  if (ends.size() != count) throw ZipError("the name is not valid text");

  // The deepest level still open, then one level at a time below it.
  Folder current;
  size_t level = count;
  for (; level > 0 && !current; --level) {
    const auto found = opened_.find(key.substr(0, ends[level - 1]));
    if (found != opened_.end()) current = found->second.lock();
    if (current) break;
  }
  if (!current) current = base_;
  for (; level < count; ++level) {
    current = openOrMake(*current, elements[level], make);
    if (!current) return nullptr;
    opened_[key.substr(0, ends[level])] = current;
    remember(current);
  }
  return current;
}

BaseDirectory::Folder BaseDirectory::openOrMake(const platform::Directory& parent,
                                                const std::string& name, bool make) const {
  std::error_code error;
  auto opened = parent.openFolder(name, error);
  if (!opened && !make) return nullptr;
  if (!opened && error == std::errc::no_such_file_or_directory) {
    std::error_code made;
    if (!parent.makeFolder(name, made) && made != std::errc::file_exists) {
      throw ExtractionEnded("cannot create the directory " + shown(parent, name) + ": " +
                            made.message());
    }
    opened = parent.openFolder(name, error);
  }
  if (opened) return std::make_shared<const platform::Directory>(std::move(*opened));
  if (error == std::errc::too_many_symbolic_link_levels) {
    throw ZipError("the path runs through the symbolic link " + shown(parent, name));
  }
  if (error == std::errc::not_a_directory) {
    throw ExtractionEnded("a file stands where the directory " + shown(parent, name) +
                          " is needed");
  }
  throw ExtractionEnded("cannot open the directory " + shown(parent, name) + ": " +
                        error.message());
}

void BaseDirectory::remember(const Folder& folder) {
  recent_.push_back(folder);
  if (recent_.size() > recentFolders) recent_.pop_front();
  if (opened_.size() >= forgetAt) {
    std::erase_if(opened_, [](const auto& item) { return item.second.expired(); });
  }
}

void BaseDirectory::checkReplaceable(const platform::FileStatus& status) {
  using Kind = platform::FileStatus::Kind;
  if (status.kind == Kind::Missing || status.kind == Kind::Link) return;
  if (status.kind != Kind::File) throw ZipError("something other than a file is in the way");
  // Tested here because a rename would replace a read-only file, and because the superuser
  // may write to it anyway.
  if (status.readOnly) throw ZipError("the existing file is read-only");
}

platform::FileStatus BaseDirectory::checkReplaceable(const platform::Directory& folder,
                                                     const std::string& name) {
  platform::FileStatus status;
  try {
    status = folder.status(name);
  } catch (const std::system_error& error) {
    throw ZipError(error.what());
  }
  checkReplaceable(status);
  if (status.kind == platform::FileStatus::Kind::File && !folder.canOpenForWriting(name)) {
    throw ZipError("the existing file cannot be opened for writing");
  }
  return status;
}

}  // namespace zip
