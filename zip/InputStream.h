// The archive as the reader sees it: a seekable byte source that belongs to the caller.
// The reader only seeks and reads; it never writes, truncates or closes the stream. Calls may
// come from different threads of the reader, never two at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zip {

class InputStream {
public:
  virtual ~InputStream() = default;

  // The length in bytes. Called once, when an archive is opened.
  virtual uint64_t size() = 0;
  // Moves to an absolute offset, at most size().
  virtual void seek(uint64_t offset) = 0;
  // Reads up to length bytes at the current position and returns the count; 0 only at the end.
  // May throw any std::exception on a read error.
  virtual size_t read(void* buffer, size_t length) = 0;
  // Reads up to length bytes at offset, as seek and read do; a stream that can do it in one
  // call (pread) says so by overriding it. The position afterwards is unspecified.
  virtual size_t readAt(uint64_t offset, void* buffer, size_t length) {
    seek(offset);
    return read(buffer, length);
  }
};

}  // namespace zip
