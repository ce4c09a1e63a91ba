#include "signature/FormatError.h"

namespace signature {

FormatError::FormatError(const std::string& what) : std::runtime_error(what) {}

}  // namespace signature
