#include "versioncheck/VersionHistory.h"

#include "platform/CodePage.h"
#include "platform/Unicode.h"

namespace versioncheck {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

std::u16string decodeByBom(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Bom)) return platform::decodeUtf8(bytes.substr(kUtf8Bom.size()));
  if (bytes.starts_with(kUtf16LeBom)) {
    return platform::decodeUtf16(bytes.substr(kUtf16LeBom.size()),
                                 platform::ByteOrder::LittleEndian);
  }
  if (bytes.starts_with(kUtf16BeBom)) {
    return platform::decodeUtf16(bytes.substr(kUtf16BeBom.size()), platform::ByteOrder::BigEndian);
  }
  return platform::decode(bytes, platform::ansiCodePage());
}

}  // namespace

std::vector<std::u16string> splitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    // CR LF is one break; LF CR is not, so the CR starts the next (empty) line.
    if (end < text.size() && text[end] == u'\r') ++end;
    if (end < text.size() && text[end] == u'\n') ++end;
    start = end;
  }
  return lines;
}

std::vector<std::u16string> readVersionHistoryLines(std::string_view bytes) {
  std::u16string text = decodeByBom(bytes);
  if (const size_t nul = text.find(u'\0'); nul != std::u16string::npos) text.resize(nul);
  return splitLines(text);
}

}  // namespace versioncheck
