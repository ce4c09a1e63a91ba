// Stands in for WavPack.cpp in builds without libwavpack (UPDATER_ZIP_WAVPACK=OFF).
#include "zip/codecs/Codecs.h"

namespace zip {

std::unique_ptr<Decoder> makeWavPackDecoder(const DecoderParameters&) {
  return nullptr;
}

}  // namespace zip
