#include "branding/ImageLoading.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace branding {

QImage decodeImageStream(ImageStream& stream) {
  const uint64_t size = stream.size();
  if (stream.position() >= size) stream.seek(0);
  const uint64_t left = size - stream.position();
  if (left == 0) return {};
  if (left > kLargestImageData) throw LoadingBitmapError();

  QByteArray data(static_cast<qsizetype>(left), Qt::Uninitialized);
  const size_t got = stream.read(data.data(), static_cast<size_t>(left));
  data.truncate(static_cast<qsizetype>(got));

  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);  // recognises the format by content; first frame only
  QSize imageSize = reader.size();
  if (imageSize.width() > kLargestBitmapSide || imageSize.height() > kLargestBitmapSide)
    reader.setScaledSize(
        imageSize.scaled(kLargestBitmapSide, kLargestBitmapSide, Qt::KeepAspectRatio));
  QImage image = reader.read();
  if (image.isNull() || image.width() == 0 || image.height() == 0) throw LoadingBitmapError();
  return image;
}

}  // namespace branding
