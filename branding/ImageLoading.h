// Decoding an image stream from the resource library into a picture.
#pragma once

#include "branding/ResourcesUpdateDll.h"

#include <QImage>
#include <stdexcept>

namespace branding {

class LoadingBitmapError : public std::runtime_error {
public:
  LoadingBitmapError() : std::runtime_error("Loading bitmap failed.") {}
};

// The largest picture we keep; bigger images are scaled down to fit, keeping the aspect ratio.
inline constexpr int kLargestBitmapSide = 4096;
// The most a decoder may allocate for one bitmap. Decoders that scale while they decode (JPEG;
// PNG in colour or in grey with alpha, of 8 bits a channel, not interlaced) take images of any
// declared size; the others, other PNGs among them, must fit their full-size bitmap in this at
// 4 bytes a pixel, or the image is refused before the bitmap is allocated.
inline constexpr qsizetype kLargestDecodedBytes = qsizetype{128} * 1024 * 1024;
// Image data beyond this is refused rather than read into memory.
inline constexpr uint64_t kLargestImageData = 64ull * 1024 * 1024;

// The data from the stream's position to its end (a stream positioned at its end, as one that
// has just been written, is read whole from its start), decoded by content: BMP, JPEG, PNG, GIF,
// TIFF, ICO (icons and cursors) or HD Photo, and nothing else. The first frame is taken. Empty data
// gives a null image. Throws LoadingBitmapError for data no decoder takes, an image beyond the
// limits above, or a first frame without width or height.
QImage decodeImageStream(ImageStream& stream);

}  // namespace branding
