// A body sink that passes everything on to another and hashes what that one took, so that a
// downloaded archive's signature is checked without reading the file again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "net/BodySink.h"
#include "signature/StreamingHash.h"

namespace update {

class HashingSink final : public net::BodySink {
public:
  // The hash starts from nothing at the target's position now: that is where get() starts the
  // body, and where it seeks back to before each further request (a redirect).
  HashingSink(net::BodySink& target, signature::StreamingHash& hash);

  // Hashes the bytes once the target has taken them: bytes whose write threw are not hashed.
  void write(const char* data, std::size_t size) override;
  std::uint64_t position() const override { return target_.position(); }
  // Back to the start restarts the hash; a seek anywhere else leaves it no longer the hash of
  // what was written from the start (hashesWhatWasWritten() false).
  void seek(std::uint64_t position) override;

  // Whether the hash is that of the bytes written from the start position on.
  bool hashesWhatWasWritten() const { return whole_; }

private:
  net::BodySink& target_;
  signature::StreamingHash& hash_;
  std::uint64_t start_;
  bool whole_ = true;
};

}  // namespace update
