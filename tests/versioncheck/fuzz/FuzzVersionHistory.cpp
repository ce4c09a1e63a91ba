// Feeds any bytes to the version history reader and the newest-block scan, and checks what
// must hold for every input: no crash, no line break or NUL inside a line, well-formed
// UTF-16, and a block that keeps the scan's rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "versioncheck/NewestBlock.h"
#include "versioncheck/VersionHistory.h"
#include "versioncheck/VersionText.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool hasDash(const std::u16string& line) {
  return line.find(u'-') != std::u16string::npos;
}

void checkLine(const std::u16string& line) {
  for (size_t i = 0; i < line.size(); ++i) {
    const char16_t unit = line[i];
    require(unit != u'\r' && unit != u'\n' && unit != u'\0');
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      require(i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF);
      ++i;
    } else {
      require(unit < 0xDC00 || unit > 0xDFFF);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto lines = versioncheck::readVersionHistoryLines(bytes);
  require(lines.size() <= size);
  for (const auto& line : lines) checkLine(line);

  const versioncheck::NewestBlock block = versioncheck::scanNewestBlock(lines);
  require(block.items.size() <= lines.size());
  for (size_t i = 0; i < block.items.size(); ++i) {
    require(!block.items[i].empty());
    const bool isHeader = block.headerFound && i == 0;
    require(hasDash(block.items[i]) != isHeader);
  }
  if (block.headerFound) {
    const std::u16string& header = block.items.front();
    const std::u16string version = versioncheck::newestVersionFromHeader(header);
    require(header.ends_with(version));
    const std::u16string_view trimmed = versioncheck::trimControlAndBlanks(version);
    require(trimmed.empty() || (trimmed.front() > u' ' && trimmed.back() > u' '));
    require(!versioncheck::updateOffered(version, std::u16string(trimmed)));
  }
  return 0;
}
