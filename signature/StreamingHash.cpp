#include "signature/StreamingHash.h"

#include <sodium.h>

#include "signature/Sodium.h"

#include <fstream>
#include <stdexcept>
#include <vector>

namespace signature {

struct StreamingHash::State {
  crypto_generichash_state sodium;
};

static_assert(sizeof(FileHash) == crypto_generichash_BYTES_MAX);

StreamingHash::StreamingHash() : state_(std::make_unique<State>()) {
  ensureSodium();
  restart();
}

StreamingHash::~StreamingHash() = default;

void StreamingHash::update(const void* data, std::size_t size) {
  crypto_generichash_update(&state_->sodium, static_cast<const unsigned char*>(data), size);
  size_ += size;
}

FileHash StreamingHash::finish() {
  FileHash hash{};
  crypto_generichash_final(&state_->sodium, hash.data(), hash.size());
  return hash;
}

void StreamingHash::restart() {
  crypto_generichash_init(&state_->sodium, nullptr, 0, crypto_generichash_BYTES_MAX);
  size_ = 0;
}

FileHash hashFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  StreamingHash hash;
  std::vector<char> buffer(1 << 16);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    hash.update(buffer.data(), static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw std::runtime_error("cannot read " + path.string());
  return hash.finish();
}

}  // namespace signature
