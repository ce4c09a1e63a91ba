// The resource library's operations over one product line's generated data (ProductData.h).
#include "resourcelib/ResourcesUpd.h"

#include "resourcelib/ProductData.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

struct ResColorTable {
  const product::Colour* colours;
  size_t count;
};

struct ResImageStream {
  const unsigned char* data;
  uint64_t size;
  uint64_t position;
};

namespace {

size_t copyText(std::u16string_view text, ResChar* buffer, size_t capacity) {
  const size_t n = std::min(text.size(), capacity);
  if (n > 0) std::memcpy(buffer, text.data(), n * sizeof(ResChar));
  return text.size();
}

std::u16string_view view(const ResChar* text, size_t length) {
  if (text == nullptr) return {};
  return {reinterpret_cast<const char16_t*>(text), length};
}

const ResColorTable kTable{product::kColours, product::kColourCount};

}  // namespace

extern "C" {

size_t getSistema(ResChar* buffer, size_t capacity) {
  return copyText(product::kSistema, buffer, capacity);
}

size_t getUpdatePath(ResChar* buffer, size_t capacity) {
  return copyText(product::kUpdatePath, buffer, capacity);
}

size_t getUpdateName(ResChar* buffer, size_t capacity) {
  return copyText(product::kUpdateName, buffer, capacity);
}

// A library built with RESOURCESUPD_FIVE_OPERATIONS is one of a product line made before the
// sixth operation existed (the tests' old library).
#if !defined(RESOURCESUPD_FIVE_OPERATIONS)
size_t getUpdateKey(ResChar* buffer, size_t capacity) {
  return copyText(product::kUpdateKey, buffer, capacity);
}
#endif

const ResColorTable* getColores(void) {
  return &kTable;
}

ResImageStream* getImage(const ResChar* name, size_t nameLength) {
  auto* stream = new (std::nothrow) ResImageStream{nullptr, 0, 0};
  if (stream == nullptr) return nullptr;
  const std::u16string_view wanted = view(name, nameLength);
  for (size_t i = 0; i < product::kImageCount; ++i) {
    if (product::kImages[i].name == wanted) {
      stream->data = product::kImages[i].data;
      stream->size = product::kImages[i].size;
    }
  }
  // Handed over as a stream that has just been written: positioned at its end.
  stream->position = stream->size;
  return stream;
}

int resColorLookup(const ResColorTable* table, const ResChar* key, size_t keyLength,
                   uint32_t* argb) {
  if (table == nullptr) return 0;
  const std::u16string_view wanted = view(key, keyLength);
  for (size_t i = 0; i < table->count; ++i) {
    if (table->colours[i].key == wanted) {
      if (argb != nullptr) *argb = table->colours[i].argb;
      return 1;
    }
  }
  return 0;
}

uint64_t resImageSize(const ResImageStream* stream) {
  return stream ? stream->size : 0;
}

uint64_t resImagePosition(const ResImageStream* stream) {
  return stream ? stream->position : 0;
}

void resImageSeek(ResImageStream* stream, uint64_t offset) {
  if (stream) stream->position = std::min(offset, stream->size);
}

size_t resImageRead(ResImageStream* stream, void* buffer, size_t count) {
  if (stream == nullptr || buffer == nullptr) return 0;
  const uint64_t left = stream->size - stream->position;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(left, count));
  if (n > 0) std::memcpy(buffer, stream->data + stream->position, n);
  stream->position += n;
  return n;
}

void resImageRelease(ResImageStream* stream) {
  delete stream;
}

}  // extern "C"
