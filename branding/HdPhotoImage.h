// HD Photo (JPEG XR) images, which Qt has no decoder for, decoded from memory.
//
// On Windows the system's own decoder (the Windows Imaging Component) decodes them in this
// process, as every Windows program does (HdPhotoImage_win.cpp). Elsewhere libjxr decodes them
// in a child process (HdPhotoImage.cpp): libjxr asserts on what it reads, so a damaged file
// would otherwise end the updater. The child may map little more than the two bitmaps it holds
// at most (the decoded pixels and the picture it hands over), and what libjxr prints goes
// nowhere. Built without either (UPDATER_HD_PHOTO off), every HD Photo image is refused.
#pragma once

#include <QByteArrayView>
#include <QImage>

namespace branding {

// True when the data begins with the HD Photo container's signature: "II", 0xBC, and a
// version byte of 0 (HD Photo) or 1 (JPEG XR).
bool isHdPhoto(QByteArrayView data);

// Decodes the first frame. An image larger than `largest` is given reduced by a power of two
// (down to 1/16) as far as it stays at least the size that fits inside `largest`; the caller
// scales it the rest of the way. libjxr decodes it reduced. The Windows decoder holds the whole
// frame whatever is asked of it, so there the frame is decoded whole and then scaled down to
// the reduced size, smoothly.
//
// A container directory with an entry whose values lie beyond the data is refused before a
// decoder reads it. The size is read from the header first, and before any pixel is decoded a
// frame is refused that declares far more pixels than its data can hold, or whose bitmap would
// take more than maxBitmapBytes: with libjxr the reduced bitmap, on Windows the whole frame, at
// 4 bytes a pixel or at the frame's own pixel size when that is wider.
//
// Returns a null image for data the decoder refuses, a pixel format it cannot convert (libjxr:
// narrowed to 8-bit RGB, grey or RGB with alpha; Windows: 32-bit BGRA, any format the system
// reads), or a frame without width or height; throws nothing. On Windows any thread may call
// it: one without COM joins the multithreaded apartment for the call and leaves it again, one
// already in an apartment (Qt's GUI thread is in a single-threaded one) stays as it is.
QImage decodeHdPhoto(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes);

}  // namespace branding
