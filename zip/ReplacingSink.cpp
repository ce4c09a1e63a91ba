#include "zip/ReplacingSink.h"

#include <algorithm>
#include <cstring>

#include "zip/Crc32.h"
#include "zip/ZipError.h"

namespace zip {
namespace {

constexpr size_t chunkSize = 64 * 1024;

}  // namespace

ReplacingSink::ReplacingSink(std::filesystem::path target)
    : target_(std::move(target)), old_(target_, std::ios::binary) {
  if (!old_) part_ = std::make_unique<PartFile>(target_);
}

bool ReplacingSink::holdsAlready(uint64_t size, uint32_t crc32) {
  std::error_code error;
  if (part_ || std::filesystem::file_size(target_, error) != size || error) return false;
  auto chunk = std::make_unique_for_overwrite<char[]>(chunkSize);
  uint32_t crc = 0;
  uint64_t read = 0;
  while (old_.read(chunk.get(), chunkSize) || old_.gcount() > 0) {
    crc = zip::crc32(crc, chunk.get(), static_cast<size_t>(old_.gcount()));
    read += static_cast<uint64_t>(old_.gcount());
  }
  if (read == size && crc == crc32) {
    unchanged_ = true;
    old_.close();
    return true;
  }
  old_.clear();
  old_.seekg(0);
  return false;
}

void ReplacingSink::write(std::span<const std::byte> data) {
  if (part_) {
    part_->write(data);
    return;
  }
  read_.resize(chunkSize);
  for (size_t compared = 0; compared < data.size();) {
    const size_t wanted = std::min(read_.size(), data.size() - compared);
    old_.read(read_.data(), static_cast<std::streamsize>(wanted));
    if (static_cast<size_t>(old_.gcount()) != wanted ||
        std::memcmp(read_.data(), data.data() + compared, wanted) != 0) {
      divergeHere();
      part_->write(data);
      return;
    }
    compared += wanted;
  }
  agreed_ += data.size();
}

void ReplacingSink::finish() {
  if (!part_) {
    // The same start; the same file only when the old one ends here too.
    if (old_.peek() == std::ifstream::traits_type::eof() && old_.eof()) {
      unchanged_ = true;
      return;
    }
    divergeHere();
  }
  part_->close();
}

// The content differs from here on: a part file takes the agreeing start from the old file.
void ReplacingSink::divergeHere() {
  part_ = std::make_unique<PartFile>(target_);
  old_.clear();
  old_.seekg(0);
  read_.resize(chunkSize);
  for (uint64_t left = agreed_; left > 0;) {
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(read_.size(), left));
    old_.read(read_.data(), static_cast<std::streamsize>(wanted));
    if (static_cast<size_t>(old_.gcount()) != wanted)
      throw ZipError("cannot read " + target_.string());
    part_->write(std::as_bytes(std::span(read_.data(), wanted)));
    left -= wanted;
  }
  old_.close();
  read_ = {};
}

}  // namespace zip
