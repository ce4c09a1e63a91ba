// Stands in for ZipBuilderLzma.cpp where the zip library has no LZMA (UPDATER_ZIP_LZMA=OFF).
#include "tests/support/ZipBuilder.h"

#include <stdexcept>

namespace testsupport {

std::string lzmaZipCompress(const std::string&, bool) {
  throw std::logic_error("this build reads no LZMA entries, so its tests make none");
}

}  // namespace testsupport
