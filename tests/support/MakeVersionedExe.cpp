// make-versioned-exe <output path> <file version a.b.c.d> [<product version>]
//
// Writes a small Windows executable whose version resource holds the given versions (the
// product version defaults to the file version): a stand-in for the installed program.
#include <exception>
#include <iostream>
#include <string_view>

#include "tests/support/PeFixture.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: make-versioned-exe <output path> <file version a.b.c.d> "
                 "[<product version a.b.c.d>]\n";
    return 2;
  }
  testsupport::PeOptions options;
  const auto fileVersion = testsupport::parseVersionQuad(argv[2]);
  const auto productVersion = testsupport::parseVersionQuad(argc == 4 ? argv[3] : argv[2]);
  if (!fileVersion || !productVersion) {
    std::cerr << "make-versioned-exe: a version is four numbers from 0 to 65535 joined by \".\"\n";
    return 2;
  }
  options.fileVersion = *fileVersion;
  options.productVersion = *productVersion;
  try {
    testsupport::writeFileBytes(argv[1], testsupport::buildPeFixture(options).bytes);
  } catch (const std::exception& error) {
    std::cerr << "make-versioned-exe: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
