#include "zip/ReplacingSink.h"

#include <fstream>
#include <memory>
#include <optional>

#include "platform/FileStamps.h"
#include "zip/Crc32.h"

namespace zip {
namespace {

constexpr size_t chunkSize = 64 * 1024;

// The CRC-32 of the whole file, when it has the given size and can be read.
std::optional<uint32_t> crc32OfFile(const std::filesystem::path& path, uint64_t size) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  auto chunk = std::make_unique_for_overwrite<char[]>(chunkSize);
  uint32_t crc = 0;
  uint64_t read = 0;
  while (file.read(chunk.get(), chunkSize) || file.gcount() > 0) {
    crc = zip::crc32(crc, chunk.get(), static_cast<size_t>(file.gcount()));
    read += static_cast<uint64_t>(file.gcount());
  }
  if (file.bad() || read != size) return std::nullopt;
  return crc;
}

}  // namespace

ReplacingSink::ReplacingSink(std::filesystem::path target) : target_(std::move(target)) {}

bool ReplacingSink::holdsAlready(uint64_t size, uint32_t crc32, uint16_t dosDate,
                                 uint16_t dosTime) {
  if (part_ || !platform::hasSizeAndDosTime(target_, size, dosDate, dosTime)) return false;
  unchanged_ = crc32OfFile(target_, size) == crc32;
  return unchanged_;
}

void ReplacingSink::write(std::span<const std::byte> data) {
  if (!part_) part_ = std::make_unique<PartFile>(target_);
  part_->write(data);
}

void ReplacingSink::finish() {
  if (!part_) part_ = std::make_unique<PartFile>(target_);  // an empty entry
  part_->close();
}

}  // namespace zip
