#include "zip/ReplacingSink.h"

#include <memory>
#include <system_error>

#include "platform/FileStamps.h"
#include "zip/Crc32.h"
#include "zip/ZipError.h"

namespace zip {
namespace {

constexpr size_t chunkSize = 64 * 1024;

// Whether the file can be the entry's content as it is: a regular file with one name, of the
// entry's size and time.
bool couldBeTheEntry(const platform::FileStatus& status, uint64_t size, uint16_t dosDate,
                     uint16_t dosTime) {
  return status.kind == platform::FileStatus::Kind::File && status.links == 1 &&
         platform::hasSizeAndDosTime(status, size, dosDate, dosTime);
}

// The CRC-32 of the rest of the file, when exactly size bytes can be read.
std::optional<uint32_t> crc32OfFile(platform::HeldFile& file, uint64_t size) {
  auto chunk = std::make_unique_for_overwrite<std::byte[]>(chunkSize);
  uint32_t crc = 0;
  uint64_t read = 0;
  try {
    while (const size_t count = file.read(std::span(chunk.get(), chunkSize))) {
      crc = zip::crc32(crc, chunk.get(), count);
      read += count;
      if (read > size) return std::nullopt;
    }
  } catch (const std::system_error&) {
    return std::nullopt;
  }
  if (read != size) return std::nullopt;
  return crc;
}

}  // namespace

ReplacingSink::ReplacingSink(const platform::Directory& folder, std::string target,
                             const platform::FileStatus& found)
    : folder_(folder), target_(std::move(target)), found_(found) {}

bool ReplacingSink::holdsAlready(uint64_t size, uint32_t crc32, uint16_t dosDate,
                                 uint16_t dosTime) {
  if (part_ || !couldBeTheEntry(found_, size, dosDate, dosTime)) return false;
  platform::Directory::Held held = platform::Directory::Held::NotHere;
  std::optional<platform::HeldFile> file = folder_.openHeldFile(target_, held);
  if (held == platform::Directory::Held::ByAnother) {
    throw ZipError("the existing file cannot be opened for writing");
  }
  if (!file) return false;
  try {
    if (!couldBeTheEntry(file->status(), size, dosDate, dosTime)) return false;
  } catch (const std::system_error&) {
    return false;
  }
  if (crc32OfFile(*file, size) != crc32) return false;
  existing_ = std::move(file);
  unchanged_ = true;
  return true;
}

bool ReplacingSink::mayHoldAlready(const platform::FileStatus& status, uint64_t size,
                                   uint16_t dosDate, uint16_t dosTime) {
  return couldBeTheEntry(status, size, dosDate, dosTime);
}

void ReplacingSink::write(std::span<const std::byte> data) {
  try {
    if (!part_) part_ = std::make_unique<PartFile>(folder_, target_);
    part_->write(data);
  } catch (const WriteRefused&) {
    writeRefused_ = true;
    throw;
  }
}

void ReplacingSink::finish(const FileStamp& stamp) {
  try {
    if (!part_) part_ = std::make_unique<PartFile>(folder_, target_);  // an empty entry
    part_->stage(stamp);
  } catch (const WriteRefused&) {
    writeRefused_ = true;
    throw;
  }
}

void ReplacingSink::keep(const FileStamp& stamp) {
  if (!existing_) return;
  existing_->setLastWriteTimeFromDos(stamp.dosDate, stamp.dosTime);
  existing_->applyAttributes(stamp.attributes);
  existing_.reset();
}

}  // namespace zip
