#include "update/HashingSink.h"

namespace update {

HashingSink::HashingSink(net::BodySink& target, signature::StreamingHash& hash)
    : target_(target), hash_(hash), start_(target.position()) {
  hash_.restart();
}

void HashingSink::write(const char* data, std::size_t size) {
  target_.write(data, size);
  hash_.update(data, size);
}

void HashingSink::seek(std::uint64_t position) {
  target_.seek(position);
  if (position == start_) {
    hash_.restart();
    whole_ = true;
  } else {
    whole_ = false;
  }
}

}  // namespace update
