// The compression methods the reader knows, one file each in this folder. To add a method,
// write its file with a make...Decoder function and list it in Codecs.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "zip/Decoder.h"

namespace zip {

enum CompressionMethod : uint16_t {
  Stored = 0,
  Shrunk = 1,
  ReducedFactor1 = 2,
  ReducedFactor2 = 3,
  ReducedFactor3 = 4,
  ReducedFactor4 = 5,
  Imploded = 6,
  Deflated = 8,
  Deflate64 = 9,
  Bzip2 = 12,
  Lzma = 14,
  WavPack = 97,
  Ppmd = 98,
};

// A decoder for the method; nullptr when the method is not supported.
std::unique_ptr<Decoder> makeDecoder(uint16_t method, const DecoderParameters& parameters);

std::unique_ptr<Decoder> makeStoredDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeInflateDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeBzip2Decoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeLzmaDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeShrinkDecoder(const DecoderParameters& parameters);
// factor: 1 to 4, for methods 2 to 5.
std::unique_ptr<Decoder> makeReduceDecoder(const DecoderParameters& parameters, unsigned factor);
std::unique_ptr<Decoder> makeImplodeDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeDeflate64Decoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makeWavPackDecoder(const DecoderParameters& parameters);
std::unique_ptr<Decoder> makePpmdDecoder(const DecoderParameters& parameters);

}  // namespace zip
