#include "zip/ZipEntry.h"

namespace zip {

bool ZipEntry::isDirectory() const {
  if ((externalAttributes & 0x10) != 0) return true;
  return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
}

}  // namespace zip
