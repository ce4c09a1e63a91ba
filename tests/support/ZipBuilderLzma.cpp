// LZMA payloads for the ZIP fixtures (method 14), through liblzma.
#include "tests/support/ZipBuilder.h"

#include <lzma.h>

#include <stdexcept>

namespace testsupport {

std::string lzmaZipCompress(const std::string& data, bool endMarker) {
  lzma_options_lzma options{};
  lzma_lzma_preset(&options, 6);
  options.dict_size = 1u << 16;
  lzma_filter filters[2] = {{endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
                            {LZMA_VLI_UNKNOWN, nullptr}};
  uint8_t properties[5] = {};
  if (lzma_properties_encode(&filters[0], properties) != LZMA_OK) {
    throw std::runtime_error("lzma_properties_encode");
  }
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&stream, filters) != LZMA_OK) throw std::runtime_error("lzma encoder");
  std::string body(data.size() + data.size() / 2 + 1024, '\0');
  stream.next_in = reinterpret_cast<const uint8_t*>(data.data());
  stream.avail_in = data.size();
  stream.next_out = reinterpret_cast<uint8_t*>(body.data());
  stream.avail_out = body.size();
  if (lzma_code(&stream, LZMA_FINISH) != LZMA_STREAM_END) throw std::runtime_error("lzma_code");
  body.resize(stream.total_out);
  lzma_end(&stream);

  std::string out;
  out += static_cast<char>(9);  // encoder version, as 7-Zip writes it
  out += static_cast<char>(20);
  out += static_cast<char>(5);  // size of the properties, 16 bits
  out += static_cast<char>(0);
  out.append(reinterpret_cast<const char*>(properties), 5);
  return out + body;
}

}  // namespace testsupport
