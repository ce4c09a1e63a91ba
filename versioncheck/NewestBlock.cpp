#include "versioncheck/NewestBlock.h"

namespace versioncheck {

NewestBlock scanNewestBlock(std::span<const std::u16string> lines) {
  // Find where the upward scan stops first, then copy forwards: inserting each line at the
  // front as the scan meets it would be quadratic on a file of many change lines.
  size_t first = lines.size();
  NewestBlock block;
  while (first > 0) {
    --first;
    const std::u16string& line = lines[first];
    if (!line.empty() && line.find(u'-') == std::u16string::npos) {
      block.headerFound = true;
      break;
    }
  }
  for (size_t i = first; i < lines.size(); ++i) {
    if (!lines[i].empty()) block.items.push_back(lines[i]);
  }
  return block;
}

}  // namespace versioncheck
