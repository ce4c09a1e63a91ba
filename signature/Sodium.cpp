#include "signature/Sodium.h"

#include <sodium.h>

#include <stdexcept>

namespace signature {

void ensureSodium() {
  // sodium_init is itself safe to call again and from several threads; 1 means "already done".
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
}

}  // namespace signature
