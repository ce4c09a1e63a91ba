// HD Photo (JPEG XR) images, which Qt has no decoder for, decoded from memory with libjxr in a
// child process: libjxr asserts on what it reads, so a damaged file would otherwise end the
// updater. The child may map little more than the two bitmaps it holds at most (the decoded
// pixels and the picture it hands over), and what libjxr prints goes nowhere.
#pragma once

#include <QByteArrayView>
#include <QImage>

namespace branding {

// True when the data begins with the HD Photo container's signature: "II", 0xBC, and a
// version byte of 0 (HD Photo) or 1 (JPEG XR).
bool isHdPhoto(QByteArrayView data);

// Decodes the first frame. An image larger than `largest` is decoded reduced by a power of two
// (down to 1/16) as far as it stays at least the size that fits inside `largest`; the caller
// scales it the rest of the way. A container directory with an entry whose values lie beyond
// the data is refused before libjxr reads it. The size is read from the header first: a frame
// whose decoded bitmap would take more than maxBitmapBytes, or that declares far more pixels
// than its data can hold, is refused before any pixel is decoded. Returns a
// null image for data the decoder refuses, a pixel format it cannot narrow to 8-bit RGB, grey
// or RGB with alpha, or a frame without width or height; throws nothing.
QImage decodeHdPhoto(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes);

}  // namespace branding
