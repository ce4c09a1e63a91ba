#include "zip/codecs/Codecs.h"

#include <array>

namespace zip {
namespace {

struct Codec {
  uint16_t method;
  std::unique_ptr<Decoder> (*make)(const DecoderParameters&);
};

constexpr std::array codecs{
    Codec{Stored, makeStoredDecoder},
    Codec{Deflated, makeInflateDecoder},
    Codec{Bzip2, makeBzip2Decoder},
    Codec{Lzma, makeLzmaDecoder},
    Codec{Shrunk, makeShrinkDecoder},
    Codec{ReducedFactor1, [](const DecoderParameters& p) { return makeReduceDecoder(p, 1); }},
    Codec{ReducedFactor2, [](const DecoderParameters& p) { return makeReduceDecoder(p, 2); }},
    Codec{ReducedFactor3, [](const DecoderParameters& p) { return makeReduceDecoder(p, 3); }},
    Codec{ReducedFactor4, [](const DecoderParameters& p) { return makeReduceDecoder(p, 4); }},
    Codec{Imploded, makeImplodeDecoder},
    Codec{Deflate64, makeDeflate64Decoder},
    Codec{WavPack, makeWavPackDecoder},
    Codec{Ppmd, makePpmdDecoder},
};

}  // namespace

std::unique_ptr<Decoder> makeDecoder(uint16_t method, const DecoderParameters& parameters) {
  for (const Codec& codec : codecs) {
    if (codec.method == method) return codec.make(parameters);
  }
  return nullptr;
}

}  // namespace zip
