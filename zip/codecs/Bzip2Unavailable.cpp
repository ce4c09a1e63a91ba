// Stands in for Bzip2.cpp in builds without libbz2 (UPDATER_ZIP_BZIP2=OFF).
#include "zip/codecs/Codecs.h"

namespace zip {

std::unique_ptr<Decoder> makeBzip2Decoder(const DecoderParameters&) {
  return nullptr;
}

}  // namespace zip
