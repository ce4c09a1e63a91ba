#include "zip/codecs/ShrinkTable.h"

namespace zip {

ShrinkTable::ShrinkTable() {
  prefix_.fill(kFree);
  for (uint16_t code = 0; code < 256; ++code) {
    prefix_[code] = kByte;
    last_[code] = static_cast<uint8_t>(code);
  }
  for (uint16_t code = 257; code < kSize; ++code) free_.insert(code);
}

void ShrinkTable::add(uint16_t prefix, uint8_t last) {
  const size_t lowest = free_.lowest();
  if (lowest == kSize) return;
  ++entriesVisited_;
  const auto code = static_cast<uint16_t>(lowest);
  free_.erase(code);
  prefix_[code] = prefix;
  last_[code] = last;
  // The prefix is extended now; it may be this very code, or a free one that keeps the count
  // until it is given a string.
  if (isString(prefix) && extensions_[prefix]++ == 0) leaves_.erase(prefix);
  if (extensions_[code] == 0) leaves_.insert(code);
}

void ShrinkTable::clearLeaves() {
  // A prefix whose last extension goes becomes a leaf only after the clear: it was none before.
  size_t orphans = 0;
  for (size_t leaf = leaves_.lowest(); leaf < kSize; leaf = leaves_.lowest()) {
    ++entriesVisited_;
    const auto code = static_cast<uint16_t>(leaf);
    const uint16_t prefix = prefix_[code];
    leaves_.erase(code);
    prefix_[code] = kFree;
    free_.insert(code);
    if (isString(prefix) && --extensions_[prefix] == 0 && prefix_[prefix] != kFree)
      orphans_[orphans++] = prefix;
  }
  for (size_t i = 0; i < orphans; ++i) {
    ++entriesVisited_;
    leaves_.insert(orphans_[i]);
  }
}

}  // namespace zip
