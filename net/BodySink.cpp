#include "net/BodySink.h"

#include <algorithm>

#include "net/Error.h"

namespace net {

void MemorySink::write(const char* data, std::size_t size) {
  if (size > cap_ - std::min(cap_, data_.size()))
    throw TransportError("The response is larger than " + std::to_string(cap_) + " bytes.");
  data_.append(data, size);
}

void MemorySink::seek(std::uint64_t position) {
  if (position < data_.size()) data_.resize(static_cast<std::size_t>(position));
}

}  // namespace net
