#include "branding/HdPhotoContainer.h"

#include "branding/HdPhotoImage.h"

#include <QtEndian>

namespace branding {

bool isHdPhoto(QByteArrayView data) {
  return data.size() >= 4 && data[0] == 'I' && data[1] == 'I' &&
         static_cast<unsigned char>(data[2]) == 0xBC && (data[3] == 0 || data[3] == 1);
}

namespace hdphoto {
namespace {

constexpr qint64 kMostPixelsPerByte = 16384;

// Bytes of one value of an entry of the container's directory, by its type (TIFF's: BYTE,
// ASCII, SHORT, LONG, RATIONAL, their signed forms, FLOAT, DOUBLE); other types count as bytes.
quint64 valueBytes(quint16 type) {
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

}  // namespace

bool directoryFitsTheData(QByteArrayView data) {
  const auto size = static_cast<quint64>(data.size());
  const auto at = [&](quint64 offset) { return data.data() + offset; };
  if (size < 8) return false;
  const quint64 directory = qFromLittleEndian<quint32>(at(4));
  if (directory + 2 > size) return false;
  const quint64 entries = qFromLittleEndian<quint16>(at(directory));
  if (directory + 2 + 12 * entries > size) return false;
  for (quint64 entry = directory + 2; entry < directory + 2 + 12 * entries; entry += 12) {
    const quint64 bytes = valueBytes(qFromLittleEndian<quint16>(at(entry + 2))) *
                          qFromLittleEndian<quint32>(at(entry + 4));
    if (bytes > 4 && qFromLittleEndian<quint32>(at(entry + 8)) + bytes > size) return false;
  }
  return true;
}

bool declaresTooManyPixels(QSize frame, qsizetype dataBytes) {
  return qint64{frame.width()} * frame.height() / kMostPixelsPerByte > dataBytes;
}

int reductionFor(QSize frame, QSize largest) {
  const QSize shown = frame.boundedTo(largest) == frame
                          ? frame
                          : frame.scaled(largest, Qt::KeepAspectRatio).expandedTo({1, 1});
  int reduction = 0;
  while (reduction < 4) {
    const QSize next = reducedSize(frame, reduction + 1);
    if (next.width() < shown.width() || next.height() < shown.height()) break;
    ++reduction;
  }
  return reduction;
}

QSize reducedSize(QSize frame, int reduction) {
  const qint64 round = (qint64{1} << reduction) - 1;
  return {static_cast<int>((frame.width() + round) >> reduction),
          static_cast<int>((frame.height() + round) >> reduction)};
}

}  // namespace hdphoto
}  // namespace branding
