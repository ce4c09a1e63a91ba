// The platform tests use the shared scratch directory and file helpers of tests/support.
#pragma once

#include "tests/support/ScratchDirectory.h"

namespace platformtest {

using TempDir = testsupport::ScratchDirectory;
using testsupport::readFile;
using testsupport::writeFile;

}  // namespace platformtest
