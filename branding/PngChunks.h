// A check of the chunk lengths in PNG data before Qt decodes it. Qt's PNG reader lifts libpng's
// limits on chunk sizes, and libpng allocates the length a chunk declares before it reads the
// chunk: a few bytes declaring 2 GiB of text would take 2 GiB. When every chunk lies within the
// data, every such allocation stays within the data's size.
#pragma once

#include <QByteArrayView>

namespace branding {

// False when the data is a PNG, or an icon or cursor holding PNG images (which Qt's icon reader
// decodes as PNGs), with a chunk before IEND that declares more bytes than follow its header.
// True for any other data.
bool pngChunksFitTheirData(QByteArrayView data);

}  // namespace branding
