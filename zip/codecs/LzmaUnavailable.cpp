// Stands in for Lzma.cpp in builds without liblzma (UPDATER_ZIP_LZMA=OFF).
#include "zip/codecs/Codecs.h"

namespace zip {

std::unique_ptr<Decoder> makeLzmaDecoder(const DecoderParameters&) {
  return nullptr;
}

}  // namespace zip
