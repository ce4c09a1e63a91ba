// HD Photo where it cannot be decoded safely: recognised, and refused as the decoder refuses a
// damaged image (branding/CMakeLists.txt, UPDATER_HD_PHOTO).
#include "branding/HdPhotoImage.h"

namespace branding {

bool isHdPhoto(QByteArrayView data) {
  return data.size() >= 4 && data[0] == 'I' && data[1] == 'I' &&
         static_cast<unsigned char>(data[2]) == 0xBC && (data[3] == 0 || data[3] == 1);
}

QImage decodeHdPhoto(QByteArrayView, QSize, qsizetype) {
  return {};
}

}  // namespace branding
