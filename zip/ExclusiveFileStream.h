// The downloader's open destination file seen as the archive stream. The file stays the
// caller's: this adapter only seeks and reads through it, and leaves it open.
#pragma once

#include "platform/ExclusiveFile.h"
#include "zip/InputStream.h"

namespace zip {

class ExclusiveFileStream final : public InputStream {
public:
  // The file must stay open while the stream is used.
  explicit ExclusiveFileStream(platform::ExclusiveFile& file) : file_(file) {}

  uint64_t size() override;
  void seek(uint64_t offset) override;
  size_t read(void* buffer, size_t length) override;
  size_t readAt(uint64_t offset, void* buffer, size_t length) override;

private:
  platform::ExclusiveFile& file_;
};

}  // namespace zip
