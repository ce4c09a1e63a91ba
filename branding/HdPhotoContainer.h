// What an HD Photo file declares, read from its bytes before any decoder sees them: every HD
// Photo decoder (libjxr in a child process, the Windows Imaging Component, the stand-in that
// refuses) shares these rules, and isHdPhoto (branding/HdPhotoImage.h) is defined with them.
#pragma once

#include <QByteArrayView>
#include <QSize>

namespace branding::hdphoto {

// True when the container's directory, and the values of every entry that holds them elsewhere
// than in its own 4 bytes, lie within the data. The decoders allocate what an entry declares
// before they read its values: a few bytes may declare a text of 3 GiB.
bool directoryFitsTheData(QByteArrayView data);

// True when the frame declares far more pixels than dataBytes of data can hold. A solid colour
// at the lowest quality takes about one byte for 500 pixels; far fewer bytes for the size is a
// decompression bomb, on which a decoder spends minutes, even reduced.
bool declaresTooManyPixels(QSize frame, qsizetype dataBytes);

// How many times (0 to 4) to halve the frame while decoding, as JPEG XR decodes at 1/1 to 1/16,
// so that it stays at least as large as it is shown: the size that fits inside largest.
int reductionFor(QSize frame, QSize largest);

// The frame halved that many times, rounded up.
QSize reducedSize(QSize frame, int reduction);

}  // namespace branding::hdphoto
