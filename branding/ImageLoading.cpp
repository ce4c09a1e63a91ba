#include "branding/ImageLoading.h"

#include "branding/HdPhotoImage.h"
#include "branding/PngChunks.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <algorithm>

namespace branding {
namespace {

// The formats we take, as Qt's decoders name what they recognise. Qt would also read TGA, WBMP,
// WebP, PPM, XPM and others; TGA and WBMP have no signature and take many random bytes for an
// image, so what we accept stays the designed list.
bool acceptedFormat(const QByteArray& format) {
  for (const char* name : {"bmp", "jpeg", "png", "gif", "tiff", "ico"})
    if (format == name) return true;
  return false;
}

QSize fitted(QSize size) {
  if (size.width() <= kLargestBitmapSide && size.height() <= kLargestBitmapSide) return size;
  return size.scaled(kLargestBitmapSide, kLargestBitmapSide, Qt::KeepAspectRatio)
      .expandedTo({1, 1});
}

// Qt's PNG reader scales while it decodes only PNGs in colour or in grey with alpha, of 8 bits a
// channel and not interlaced (their rows come whole, in order, at 4 bytes a pixel). Any other
// it decodes whole in a format of its own and then scales through copies of that.
bool pngDecodesScaled(QByteArrayView png) {
  // The header chunk comes first: bit depth at 24, colour type at 25, interlace method at 28.
  if (png.size() < 29 || png.sliced(12, 4) != QByteArrayView("IHDR")) return false;
  const auto byteAt = [&](qsizetype at) { return static_cast<unsigned char>(png[at]); };
  const unsigned colourType = byteAt(25);
  return byteAt(24) == 8 && (colourType == 2 || colourType == 4 || colourType == 6) &&
         byteAt(28) == 0;
}

bool isThirtyTwoBit(QImage::Format format) {
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

QImage decodeWithQt(QByteArray& data) {
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);  // no format given: it is recognised by content
  if (!acceptedFormat(reader.format())) return {};
  reader.setAllocationLimit(static_cast<int>(kLargestDecodedBytes / (1024 * 1024)));
  const QSize declared = reader.size();
  if (declared.isValid()) {
    // A decoder that cannot scale while it decodes allocates the declared size first; refuse
    // that here rather than trust every decoder to check its allocations.
    const bool scalesWhileDecoding = reader.supportsOption(QImageIOHandler::ScaledSize) &&
                                     (reader.format() != "png" || pngDecodesScaled(data));
    if (!scalesWhileDecoding &&
        qsizetype{4} * declared.width() > kLargestDecodedBytes / std::max(1, declared.height()))
      return {};
    if (scalesWhileDecoding && fitted(declared) != declared) reader.setScaledSize(fitted(declared));
  }
  return reader.read();  // the first frame
}

}  // namespace

QImage decodeImageStream(ImageStream& stream) {
  const uint64_t size = stream.size();
  if (stream.position() >= size) stream.seek(0);
  const uint64_t left = size - stream.position();
  if (left == 0) return {};
  if (left > kLargestImageData) throw LoadingBitmapError();

  QByteArray data(static_cast<qsizetype>(left), Qt::Uninitialized);
  const size_t got = stream.read(data.data(), static_cast<size_t>(left));
  data.truncate(static_cast<qsizetype>(got));
  if (!pngChunksFitTheirData(data)) throw LoadingBitmapError();

  QImage image = isHdPhoto(data) ? decodeHdPhoto(data, {kLargestBitmapSide, kLargestBitmapSide},
                                                 kLargestDecodedBytes)
                                 : decodeWithQt(data);
  if (image.isNull() || image.width() == 0 || image.height() == 0) throw LoadingBitmapError();
  // A decoder that could not scale while decoding gave its full size; fitted() keeps the ratio.
  if (fitted(image.size()) != image.size()) {
    // Qt's smooth scaling works through copies as large as the image, at 8 bytes a pixel for
    // more than 8 bits a channel (a grey PNG of 2 bytes a pixel would take four times its
    // size, twice over). The picture is shown at 8 bits a channel: it is narrowed first.
    if (!isThirtyTwoBit(image.format()))
      image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image = image.scaled(fitted(image.size()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

}  // namespace branding
