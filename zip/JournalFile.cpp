#include "zip/JournalFile.h"

#include <memory>
#include <span>
#include <system_error>

#include "zip/ZipError.h"

namespace zip {
namespace fs = std::filesystem;

namespace {

std::string utf8Name(const fs::path& path) {
  const std::u8string name = path.filename().u8string();
  return {name.begin(), name.end()};
}

fs::path folderOf(const fs::path& path) {
  return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

platform::Directory openFolder(const fs::path& path) {
  try {
    return platform::Directory::open(folderOf(path));
  } catch (const std::system_error& error) {
    throw ZipError("cannot open the folder of the install journal " + path.string() + ": " +
                   error.code().message());
  }
}

}  // namespace

JournalFile::JournalFile(const fs::path& path) : folder_(openFolder(path)), name_(utf8Name(path)) {}

void JournalFile::write(const InstallJournal& journal, bool durable) {
  const std::string text = formatJournal(journal);
  const std::string fresh = name_ + ".new";
  const auto fail = [&](const std::error_code& code) {
    folder_.remove(fresh);
    throw ZipError("cannot write the install journal " + (folder_.path() / name_).string() + ": " +
                   code.message());
  };
  folder_.removeIfUnheld(fresh);
  try {
    platform::HeldFile file = folder_.createHeldFile(fresh);
    file.write(std::as_bytes(std::span(text.data(), text.size())));
    if (durable && !file.flushToDisk()) fail(std::make_error_code(std::errc::io_error));
    // The one before goes first: Windows replaces no file that is open.
    held_.reset();
    folder_.rename(fresh, name_);
    held_ = std::move(file);
  } catch (const std::system_error& error) {
    fail(error.code());
  }
  if (durable && !folder_.flushNames()) fail(std::make_error_code(std::errc::io_error));
}

void JournalFile::remove() noexcept {
  folder_.remove(name_);
  held_.reset();
}

std::optional<std::string> JournalFile::readLeftover(const fs::path& path, bool& heldByAnother) {
  heldByAnother = false;
  try {
    const platform::Directory folder = platform::Directory::open(folderOf(path));
    platform::Directory::Held outcome = platform::Directory::Held::NotHere;
    std::optional<platform::HeldFile> file = folder.openHeldFile(utf8Name(path), outcome);
    heldByAnother = outcome == platform::Directory::Held::ByAnother;
    if (!file) return std::nullopt;
    std::string text;
    auto chunk = std::make_unique_for_overwrite<std::byte[]>(64 * 1024);
    while (text.size() < maxBytes) {
      const size_t count = file->read(std::span(chunk.get(), 64 * 1024));
      if (count == 0) break;
      text.append(reinterpret_cast<const char*>(chunk.get()), count);
    }
    return text;
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

void JournalFile::removeLeftover(const fs::path& path) noexcept {
  try {
    const platform::Directory folder = platform::Directory::open(folderOf(path));
    folder.removeIfUnheld(utf8Name(path));
    folder.removeIfUnheld(utf8Name(path) + ".new");
  } catch (...) {
  }
}

}  // namespace zip
