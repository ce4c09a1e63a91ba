#include "publish/ArchiveReadBack.h"

#include <cstring>
#include <fstream>
#include <set>

#include "platform/ExclusiveFile.h"
#include "zip/EntryReader.h"
#include "zip/ExclusiveFileStream.h"
#include "zip/ZipArchive.h"

namespace publish {
namespace {

// Compares the decoded bytes with a file as they come.
class ComparingSink final : public zip::OutputSink {
public:
  explicit ComparingSink(const std::filesystem::path& file) : file_(file, std::ios::binary) {}
  void write(std::span<const std::byte> data) override {
    buffer_.resize(data.size());
    file_.read(buffer_.data(), static_cast<std::streamsize>(data.size()));
    if (static_cast<size_t>(file_.gcount()) != data.size() ||
        std::memcmp(buffer_.data(), data.data(), data.size()) != 0)
      same_ = false;
  }
  // Whether the file held exactly the bytes written, and no more.
  bool same() { return same_ && file_.peek() == std::char_traits<char>::eof(); }

private:
  std::ifstream file_;
  std::vector<char> buffer_;
  bool same_ = true;
};

}  // namespace

std::vector<std::string> archiveDifferences(
    const std::filesystem::path& archive, const std::string& password,
    const std::map<std::string, std::filesystem::path>& releaseFiles) {
  std::vector<std::string> differences;
  std::set<std::string> seen;
  try {
    platform::ExclusiveFile file(archive, platform::ExclusiveFile::Mode::OpenExisting);
    zip::ExclusiveFileStream stream(file);
    zip::ZipArchive reader(stream);
    zip::DecodeBuffers buffers;
    for (const zip::ZipEntry& entry : reader.entries()) {
      if (entry.isDirectory()) continue;
      const auto release = releaseFiles.find(entry.name);
      if (release == releaseFiles.end() || !seen.insert(entry.name).second) {
        differences.push_back(entry.name + ": in the archive, not (or twice) in the release");
        continue;
      }
      if (!entry.isEncrypted() && entry.uncompressedSize > 0) {
        differences.push_back(entry.name + ": not encrypted");
        continue;
      }
      try {
        zip::EntryReader entryReader(reader, entry, {password});
        ComparingSink sink(release->second);
        entryReader.decodeTo(sink, buffers);
        if (!sink.same()) differences.push_back(entry.name + ": another content than the file's");
      } catch (const std::exception& error) {
        differences.push_back(entry.name + ": " + error.what());
      }
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& error) {
    differences.push_back(std::string("the archive cannot be read: ") + error.what());
    return differences;
  }
  for (const auto& [name, path] : releaseFiles)
    if (!seen.contains(name)) differences.push_back(name + ": in the release, not in the archive");
  return differences;
}

}  // namespace publish
