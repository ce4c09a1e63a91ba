// The BLAKE2b-512 hash of a file fed piece by piece, as it is written: what a prehashed minisign
// signature signs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace signature {

using FileHash = std::array<std::uint8_t, 64>;

class StreamingHash {
public:
  StreamingHash();
  ~StreamingHash();
  StreamingHash(const StreamingHash&) = delete;
  StreamingHash& operator=(const StreamingHash&) = delete;

  void update(const void* data, std::size_t size);
  // The hash of everything fed since construction or the last restart(). Ends the stream:
  // call restart() before feeding it again.
  FileHash finish();
  // Forgets what was fed: the hash of an empty file follows.
  void restart();
  // Bytes fed since construction or the last restart().
  std::uint64_t size() const { return size_; }

private:
  struct State;
  std::unique_ptr<State> state_;
  std::uint64_t size_ = 0;
};

// The hash of a whole file on disk. Throws std::runtime_error when it cannot be read.
FileHash hashFile(const std::filesystem::path& path);

}  // namespace signature
