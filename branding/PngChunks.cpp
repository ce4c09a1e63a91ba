#include "branding/PngChunks.h"

#include <QtEndian>
#include <cstdint>

namespace branding {
namespace {

constexpr QByteArrayView kPngSignature("\x89PNG\r\n\x1a\n", 8);

bool isPng(QByteArrayView data) {
  return data.startsWith(kPngSignature);
}

// An icon or a cursor: the directory's reserved word, then its type, 1 or 2. Qt's icon reader
// takes both.
bool isIconOrCursor(QByteArrayView data) {
  return data.size() >= 6 && (data.startsWith(QByteArrayView("\0\0\1\0", 4)) ||
                              data.startsWith(QByteArrayView("\0\0\2\0", 4)));
}

uint32_t bigEndian32(QByteArrayView data, qsizetype at) {
  return qFromBigEndian<uint32_t>(data.data() + at);
}

uint32_t littleEndian32(QByteArrayView data, qsizetype at) {
  return qFromLittleEndian<uint32_t>(data.data() + at);
}

// Walks the chunks: 4 bytes of length, 4 of type, the data, 4 of CRC. A header cut short by the
// end of the data allocates nothing; libpng reports it as a read error.
bool chunksFit(QByteArrayView png) {
  constexpr qsizetype kHeader = 8;
  constexpr qsizetype kCrc = 4;
  qsizetype at = kPngSignature.size();
  while (png.size() - at >= kHeader) {
    const qsizetype length = bigEndian32(png, at);
    if (length > png.size() - at - kHeader - kCrc) return false;
    if (png.sliced(at + 4, 4) == QByteArrayView("IEND")) return true;
    at += kHeader + length + kCrc;
  }
  return true;
}

// The icon directory: 6 bytes, then 16 bytes an image, with the image's offset at 12.
bool iconImagesFit(QByteArrayView icon) {
  const qsizetype count = qFromLittleEndian<uint16_t>(icon.data() + 4);
  for (qsizetype entry = 6; entry + 16 <= icon.size() && count > (entry - 6) / 16; entry += 16) {
    const qsizetype offset = littleEndian32(icon, entry + 12);
    if (offset >= icon.size()) continue;
    const QByteArrayView image = icon.sliced(offset);
    if (isPng(image) && !chunksFit(image)) return false;
  }
  return true;
}

}  // namespace

bool pngChunksFitTheirData(QByteArrayView data) {
  if (isPng(data)) return chunksFit(data);
  if (isIconOrCursor(data)) return iconImagesFit(data);
  return true;
}

}  // namespace branding
