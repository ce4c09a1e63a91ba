// The data of one product line, generated at build time from its product description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace product {

struct Colour {
  std::u16string_view key;
  uint32_t argb;
};

struct Image {
  std::u16string_view name;
  const unsigned char* data;
  size_t size;
};

extern const std::u16string_view kSistema;
extern const std::u16string_view kUpdatePath;
extern const std::u16string_view kUpdateName;
extern const std::u16string_view kUpdateKey;  // empty when the product line does not sign
extern const Colour kColours[];
extern const size_t kColourCount;
extern const Image kImages[];
extern const size_t kImageCount;

}  // namespace product
