// A key or signature text that is not in minisign's format.
#pragma once

#include <stdexcept>
#include <string>

namespace signature {

class FormatError : public std::runtime_error {
public:
  explicit FormatError(const std::string& what);
};

}  // namespace signature
