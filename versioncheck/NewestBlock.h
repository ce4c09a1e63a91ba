// The newest block of the version history: the last header line and the change lines after
// it. A change line contains "-"; any other non-empty line is a header line (a line of only
// blanks included); empty lines are ignored wherever they stand.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace versioncheck {

struct NewestBlock {
  // The lines to show, in file order, each exactly as in the file. With headerFound, the
  // first item is the header line and the others its change lines. Without it, every
  // non-empty line of the file: the scan ran out of lines, and the check must fail with
  // NoHeaderLineError (VersionCheckError.h) after showing them.
  std::vector<std::u16string> items;
  bool headerFound = false;
};

// Scans from the last line upwards, skipping empty lines, and stops right after the first
// line without "-". Linear in the lines scanned.
NewestBlock scanNewestBlock(std::span<const std::u16string> lines);

}  // namespace versioncheck
