// Stands in for Ppmd.cpp in builds without libarchive (UPDATER_ZIP_PPMD=OFF).
#include "zip/codecs/Codecs.h"

namespace zip {

std::unique_ptr<Decoder> makePpmdDecoder(const DecoderParameters&) {
  return nullptr;
}

}  // namespace zip
