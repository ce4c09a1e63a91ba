// The compression methods the reader knows, one file each in this folder. To add a method,
// write its file with a make...Decoder function and list it in Codecs.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "zip/Decoder.h"

namespace zip {

enum CompressionMethod : uint16_t {
  Stored = 0,
  Deflated = 8,
  Bzip2 = 12,
  Lzma = 14,
};

// A decoder for the method; nullptr when the method is not supported.
std::unique_ptr<Decoder> makeDecoder(uint16_t method, const DecoderParameters& parameters);

std::unique_ptr<Decoder> makeStoredDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeInflateDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeBzip2Decoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeLzmaDecoder(const DecoderParameters& parameters);

}  // namespace zip
