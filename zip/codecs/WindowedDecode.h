// The decode loop that Reduce and Implode share: both read bits, write through an output window
// toward the entry's declared size, and stop when output is full, the entry is whole, or their
// own step needs more input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "zip/Decoder.h"
#include "zip/codecs/BitReader.h"
#include "zip/codecs/OutputWindow.h"

namespace zip {

// run: the decoder's own step; decodes until the window is full, the entry is whole or the input
// runs out, and returns false when it stopped for input.
template <typename Run>
DecodeStep decodeThroughWindow(BitReader& bits, OutputWindow& window, uint64_t size,
                               std::span<const std::byte> input, bool inputEnded,
                               std::span<std::byte> output, Run run) {
  bits.setInput(input, inputEnded);
  size_t produced = window.flush(output);
  bool progressed = true;
  while (progressed && window.total() < size && produced < output.size()) {
    progressed = run();
    produced += window.flush(output.subspan(produced));
  }
  return {bits.consumed(), produced, window.total() >= size && window.pending() == 0};
}

// Copies what is left of a match, but never past the entry's declared size; left counts down,
// and a match that would run past the size ends there.
inline void copyWithinSize(OutputWindow& window, size_t distance, size_t& left, uint64_t size) {
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(left, size - window.total()));
  left -= window.copy(distance, wanted);
  if (window.total() >= size) left = 0;
}

}  // namespace zip
