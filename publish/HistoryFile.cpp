#include "publish/HistoryFile.h"

#include <map>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "publish/PublishError.h"
#include "versioncheck/VersionHistory.h"
#include "versioncheck/VersionText.h"

namespace publish {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

HistoryEncoding encodingOf(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Bom)) return HistoryEncoding::Utf8WithBom;
  if (bytes.starts_with(kUtf16LeBom)) return HistoryEncoding::Utf16LittleEndian;
  if (bytes.starts_with(kUtf16BeBom)) return HistoryEncoding::Utf16BigEndian;
  return HistoryEncoding::AnsiCodePage;
}

std::u16string decode(std::string_view bytes, HistoryEncoding encoding) {
  switch (encoding) {
    case HistoryEncoding::Utf8WithBom:
      return platform::decodeUtf8(bytes.substr(3));
    case HistoryEncoding::Utf16LittleEndian:
      return platform::decodeUtf16(bytes.substr(2), platform::ByteOrder::LittleEndian);
    case HistoryEncoding::Utf16BigEndian:
      return platform::decodeUtf16(bytes.substr(2), platform::ByteOrder::BigEndian);
    case HistoryEncoding::AnsiCodePage:
      break;
  }
  return platform::decode(bytes, platform::ansiCodePage());
}

void appendUtf16(std::string& bytes, char16_t unit, bool bigEndian) {
  const char high = static_cast<char>(unit >> 8);
  const char low = static_cast<char>(unit & 0xFF);
  bytes += bigEndian ? high : low;
  bytes += bigEndian ? low : high;
}

// The code page's bytes for the characters it holds, learnt from its own decoding.
const std::map<char16_t, char>& ansiBytes() {
  static const std::map<char16_t, char> table = [] {
    std::map<char16_t, char> bytes;
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      const std::u16string decoded =
          platform::decode(std::string_view(&byte, 1), platform::ansiCodePage());
      if (decoded.size() == 1 && decoded[0] != u'\uFFFD') bytes.emplace(decoded[0], byte);
    }
    return bytes;
  }();
  return table;
}

std::string encode(std::u16string_view text, HistoryEncoding encoding) {
  std::string bytes;
  switch (encoding) {
    case HistoryEncoding::Utf8WithBom:
      return std::string(kUtf8Bom) + platform::encodeUtf8(text);
    case HistoryEncoding::Utf16LittleEndian:
    case HistoryEncoding::Utf16BigEndian: {
      const bool bigEndian = encoding == HistoryEncoding::Utf16BigEndian;
      bytes = bigEndian ? kUtf16BeBom : kUtf16LeBom;
      for (char16_t unit : text) appendUtf16(bytes, unit, bigEndian);
      return bytes;
    }
    case HistoryEncoding::AnsiCodePage:
      break;
  }
  for (char16_t unit : text) {
    const auto found = ansiBytes().find(unit);
    if (found == ansiBytes().end())
      throw PublishError(kRefused,
                         "the version history has no byte order mark, and its code page cannot "
                         "hold a character of the new block (U+" +
                             std::to_string(static_cast<unsigned>(unit)) + " in decimal)");
    bytes += found->second;
  }
  return bytes;
}

std::u16string lineBreakOf(std::u16string_view text) {
  const size_t at = text.find_first_of(u"\r\n");
  if (at == std::u16string_view::npos) return u"\r\n";
  if (text[at] == u'\r') return text.substr(at, 2) == u"\r\n" ? u"\r\n" : u"\r";
  return u"\n";
}

bool isChangeLine(std::u16string_view line) {
  return line.find(u'-') != std::u16string_view::npos;
}

}  // namespace

HistoryFile HistoryFile::fromBytes(std::string_view bytes) {
  HistoryFile file;
  if (bytes.empty()) return file;
  file.encoding_ = encodingOf(bytes);
  const std::u16string text = decode(bytes, file.encoding_);
  if (text.find(u'\0') != std::u16string::npos)
    throw PublishError(kRefused, "the version history holds a NUL character");
  file.lineBreak_ = lineBreakOf(text);
  file.breakAtEnd_ = text.ends_with(file.lineBreak_);
  file.lines_ = versioncheck::readVersionHistoryLines(bytes);
  file.breakAtEnd_ = file.breakAtEnd_ || file.lines_.empty();
  // Written back from these lines, the file must be what it was: otherwise it holds what the
  // updater reads otherwise than it is written (ill-formed text, mixed line breaks).
  if (file.bytes() != bytes)
    throw PublishError(kRefused,
                       "the version history would not be written back as it is (ill-formed "
                       "text, or line breaks of more than one kind); mend it first");
  return file;
}

std::string HistoryFile::bytes() const {
  std::u16string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += lineBreak_;
    text += lines_[i];
  }
  if (breakAtEnd_ && !lines_.empty()) text += lineBreak_;
  return encode(text, encoding_);
}

std::vector<HistoryBlock> HistoryFile::blocks() const {
  std::vector<HistoryBlock> blocks;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].empty()) continue;
    if (isChangeLine(lines_[i])) {
      if (!blocks.empty()) blocks.back().end = i + 1;
      continue;
    }
    blocks.push_back({i, i + 1,
                      std::u16string(versioncheck::trimControlAndBlanks(
                          versioncheck::newestVersionFromHeader(lines_[i])))});
  }
  return blocks;
}

void HistoryFile::replaceBlock(const HistoryBlock& block,
                               const std::vector<std::u16string>& lines) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(block.header),
               lines_.begin() + static_cast<std::ptrdiff_t>(block.end));
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(block.header), lines.begin(),
                lines.end());
}

void HistoryFile::appendBlock(const std::vector<std::u16string>& lines) {
  if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
  lines_.insert(lines_.end(), lines.begin(), lines.end());
  lines_.emplace_back();
  breakAtEnd_ = true;
}

}  // namespace publish
