#include "zip/ExclusiveFileStream.h"

namespace zip {

uint64_t ExclusiveFileStream::size() {
  return file_.size();
}

void ExclusiveFileStream::seek(uint64_t offset) {
  file_.seek(offset);
}

size_t ExclusiveFileStream::read(void* buffer, size_t length) {
  return file_.read(buffer, length);
}

size_t ExclusiveFileStream::readAt(uint64_t offset, void* buffer, size_t length) {
  return file_.readAt(offset, buffer, length);
}

}  // namespace zip
