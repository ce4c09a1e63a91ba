// HD Photo where it cannot be decoded safely: recognised, and refused as the decoder refuses a
// damaged image (branding/CMakeLists.txt, UPDATER_HD_PHOTO).
#include "branding/HdPhotoImage.h"

namespace branding {

QImage decodeHdPhoto(QByteArrayView, QSize, qsizetype) {
  return {};
}

}  // namespace branding
