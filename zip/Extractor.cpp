#include "zip/Extractor.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "platform/ExclusiveFile.h"
#include "platform/FileStamps.h"
#include "zip/FileAttributes.h"
#include "zip/Mask.h"
#include "zip/PartFile.h"
#include "zip/TargetPath.h"
#include "zip/ZipError.h"

namespace zip {
namespace fs = std::filesystem;

namespace {

// The newest version of the application note whose features this reader may meet.
constexpr uint16_t maxVersionNeeded = 63;

fs::path pathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string displayName(const ZipEntry& entry) {
  return entry.name.empty() ? entry.rawName : entry.name;
}

// A failure that ends the whole extraction rather than one entry.
class ExtractionEnded : public ZipError {
public:
  using ZipError::ZipError;
};

class FileSink final : public OutputSink {
public:
  explicit FileSink(PartFile& file) : file_(file) {}
  void write(std::span<const std::byte> data) override { file_.write(data); }

private:
  PartFile& file_;
};

// Whether a file at target may be replaced: missing, or a regular file that is neither
// read-only nor held by another opener of this program.
void checkReplaceable(const fs::path& target) {
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (!fs::exists(status)) return;
  if (!fs::is_regular_file(status)) throw ZipError("something other than a file is in the way");
  // The read-only attribute is the missing owner-write bit; tested here because a rename
  // would replace a read-only file, and because the superuser may write to it anyway.
  if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) {
    throw ZipError("the existing file is read-only");
  }
  if (!platform::ExclusiveFile::canOpenForWriting(target)) {
    throw ZipError("the existing file cannot be opened for writing");
  }
}

}  // namespace

Extractor::Extractor(ZipArchive& archive, const fs::path& baseDirectory, ExtractOptions options)
    : archive_(archive), options_(std::move(options)) {
  std::error_code error;
  base_ = fs::canonical(baseDirectory, error);
  if (error || !fs::is_directory(base_)) {
    throw ZipError("the base directory " + baseDirectory.string() + " does not exist");
  }
}

ExtractionReport Extractor::run() {
  report_ = {};
  const auto& entries = archive_.entries();
  for (size_t index = 0; index < entries.size(); ++index) {
    const ZipEntry& entry = entries[index];
    try {
      if (entry.name.empty()) throw ZipError("the name is not valid text");
      if (!matchesMask(entry.name, options_.mask)) throw ZipError("the mask does not select it");
      const auto elements = confinedPath(entry.name);
      if (!elements) throw ZipError("the name leads outside the base directory");
      // The directory that holds the target is made outside the entry's own guard: when it
      // cannot be made, nothing after it could be placed where it belongs either.
      if (!elements->empty() &&
          makeDirectories(*elements, elements->size() - 1) == Walk::LeadsOutside) {
        throw ZipError("the path leads outside the base directory through a symbolic link");
      }
      extractEntry(entry, *elements);
    } catch (const ExtractionEnded& ended) {
      report_.skipped.push_back({displayName(entry), ended.what()});
      report_.endedBy = ended.what();
      report_.entriesNotReached = entries.size() - index - 1;
      break;
    } catch (const std::exception& failure) {
      report_.skipped.push_back({displayName(entry), failure.what()});
    }
  }
  return std::move(report_);
}

void Extractor::extractEntry(const ZipEntry& entry, const std::vector<std::string>& elements) {
  if (entry.isDirectory()) {
    writeDirectory(entry, elements);
    return;
  }
  if (elements.empty()) throw ZipError("a file cannot replace the base directory");
  fs::path target = base_;
  for (const std::string& element : elements) target /= pathFromUtf8(element);
  writeFile(entry, target);
}

void Extractor::writeDirectory(const ZipEntry& entry, const std::vector<std::string>& elements) {
  if (elements.empty()) {
    // The base directory itself ("./"): it exists, and its attributes are not the archive's.
    ++report_.directoriesWritten;
    return;
  }
  // Its parents exist by now; only the directory itself is left, and failing to make it
  // fails this entry alone.
  try {
    if (makeDirectories(elements, elements.size()) == Walk::LeadsOutside) {
      throw ZipError("the path leads outside the base directory through a symbolic link");
    }
  } catch (const ExtractionEnded& failure) {
    throw ZipError(failure.what());
  }
  fs::path directory = base_;
  for (const std::string& element : elements) directory /= pathFromUtf8(element);
  // A directory's time is not set. Its read-only attribute is not applied either: on Windows
  // it does not stop files being created inside, while the missing write bits would here.
  const uint32_t attributes =
      attributesFromExternal(entry.externalAttributes, entry.hostSystem) & ~platform::ReadOnly;
  platform::applyAttributes(directory, attributes);
  ++report_.directoriesWritten;
}

void Extractor::writeFile(const ZipEntry& entry, const fs::path& target) {
  if (entry.versionNeeded > maxVersionNeeded) {
    throw ZipError("it needs version " + std::to_string(entry.versionNeeded) + " to extract");
  }
  if (entry.uncompressedSize > options_.maxEntrySize) throw ZipError("the entry is too large");
  checkNotOutside(target);
  EntryReader reader(archive_, entry, options_.password);
  checkReplaceable(target);

  PartFile part(target);
  FileSink sink(part);
  reader.decodeTo(sink, buffers_);
  // Checked again at the last moment: decoding can take long, and a rename would replace
  // even a read-only file.
  checkReplaceable(target);
  part.replaceTarget();

  // Failures here are ignored: the content is in place, which is what matters.
  platform::setLastWriteTimeFromDos(target, entry.dosDate, entry.dosTime);
  platform::applyAttributes(target,
                            attributesFromExternal(entry.externalAttributes, entry.hostSystem));
  ++report_.filesWritten;
}

Extractor::Walk Extractor::makeDirectories(const std::vector<std::string>& elements, size_t count) {
  fs::path current = base_;
  for (size_t i = 0; i < count; ++i) {
    current /= pathFromUtf8(elements[i]);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(current, error);
    if (fs::is_symlink(status)) {
      const fs::path real = fs::canonical(current, error);
      if (error || !isInsideBase(real)) return Walk::LeadsOutside;
      if (!fs::is_directory(real, error)) {
        throw ExtractionEnded("a file stands where the directory " + current.string() +
                              " is needed");
      }
      continue;
    }
    if (fs::is_directory(status)) continue;
    if (fs::exists(status)) {
      throw ExtractionEnded("a file stands where the directory " + current.string() + " is needed");
    }
    if (!fs::create_directory(current, error) && error) {
      throw ExtractionEnded("cannot create the directory " + current.string() + ": " +
                            error.message());
    }
  }
  return Walk::Ready;
}

bool Extractor::isInsideBase(const fs::path& canonicalPath) const {
  const auto [baseEnd, pathEnd] =
      std::mismatch(base_.begin(), base_.end(), canonicalPath.begin(), canonicalPath.end());
  return baseEnd == base_.end();
}

// A target that is a symbolic link is only replaced when the link stays inside.
void Extractor::checkNotOutside(const fs::path& path) const {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return;
  const fs::path real = fs::canonical(path, error);
  if (error || !isInsideBase(real)) {
    throw ZipError("the path leads outside the base directory through a symbolic link");
  }
}

}  // namespace zip
