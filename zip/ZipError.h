// The one error type of the ZIP reader. Its message says what was wrong in words a developer
// can act on; callers that must not fail (the updater's extraction) catch it per entry.
#pragma once

#include <stdexcept>
#include <string>

namespace zip {

class ZipError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

}  // namespace zip
