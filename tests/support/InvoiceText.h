// Entry content for the tests of the reader: invoice lines with stretches of noise, so that it
// compresses unevenly and crosses every buffer boundary at odd places.
#pragma once

#include <cstddef>
#include <random>
#include <string>

namespace testsupport {

inline std::string invoiceText(size_t size, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    if (random() % 4 == 0) {
      for (int i = 0; i < 300; ++i) text += static_cast<char>(random());
    } else {
      text += "Linea de factura " + std::to_string(random() % 1000) + ": importe total\r\n";
    }
  }
  text.resize(size);
  return text;
}

}  // namespace testsupport
