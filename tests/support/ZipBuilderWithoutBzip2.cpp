// Stands in for ZipBuilderBzip2.cpp where the zip library has no bzip2 (UPDATER_ZIP_BZIP2=OFF).
#include "tests/support/ZipBuilder.h"

#include <stdexcept>

namespace testsupport {

std::string bzip2Compress(const std::string&) {
  throw std::logic_error("this build reads no bzip2 entries, so its tests make none");
}

}  // namespace testsupport
