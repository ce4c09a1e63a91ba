// bzip2 payloads for the ZIP fixtures (method 12), through libbz2.
#include "tests/support/ZipBuilder.h"

#include <bzlib.h>

#include <stdexcept>

namespace testsupport {

std::string bzip2Compress(const std::string& data) {
  std::string out(data.size() + data.size() / 100 + 700, '\0');
  auto length = static_cast<unsigned>(out.size());
  if (BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                               static_cast<unsigned>(data.size()), 9, 0, 0) != BZ_OK) {
    throw std::runtime_error("BZ2_bzBuffToBuffCompress");
  }
  out.resize(length);
  return out;
}

}  // namespace testsupport
