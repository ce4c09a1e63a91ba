#include "platform/Unicode.h"

#include <cstdint>
#include <optional>

namespace platform {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool isHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendCodePoint(std::u16string& out, uint32_t codePoint) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<char16_t>(codePoint));
    return;
  }
  codePoint -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
}

// What a lead byte announces: how many continuation bytes follow, and the range allowed for
// the first of them. The narrowed first ranges are what rule out overlong forms, encoded
// surrogates and code points above U+10FFFF.
struct LeadByte {
  int continuationBytes;  // 0 means the byte cannot start a sequence
  uint8_t firstLow;
  uint8_t firstHigh;
  uint32_t payload;
};

LeadByte classifyLead(uint8_t byte) {
  if (byte >= 0xC2 && byte <= 0xDF) return {1, 0x80, 0xBF, byte & 0x1Fu};
  if (byte == 0xE0) return {2, 0xA0, 0xBF, 0};
  if (byte == 0xED) return {2, 0x80, 0x9F, 0xD};
  if (byte >= 0xE1 && byte <= 0xEF) return {2, 0x80, 0xBF, byte & 0x0Fu};
  if (byte == 0xF0) return {3, 0x90, 0xBF, 0};
  if (byte >= 0xF1 && byte <= 0xF3) return {3, 0x80, 0xBF, byte & 0x07u};
  if (byte == 0xF4) return {3, 0x80, 0x8F, 4};
  return {0, 0, 0, 0};
}

char16_t unitAt(std::string_view bytes, size_t index, ByteOrder order) {
  const auto first = static_cast<uint8_t>(bytes[index]);
  const auto second = static_cast<uint8_t>(bytes[index + 1]);
  return order == ByteOrder::LittleEndian ? static_cast<char16_t>(first | (second << 8))
                                          : static_cast<char16_t>((first << 8) | second);
}

// The sequence that starts at bytes[start]: where it ends, and its code point when it is
// well-formed. An ill-formed one ends before the byte that broke it, which may start the next.
struct Utf8Sequence {
  size_t end;
  std::optional<uint32_t> codePoint;
};

Utf8Sequence readUtf8Sequence(std::string_view bytes, size_t start) {
  const auto byte = static_cast<uint8_t>(bytes[start]);
  if (byte < 0x80) return {start + 1, byte};
  const LeadByte lead = classifyLead(byte);
  if (lead.continuationBytes == 0) return {start + 1, std::nullopt};
  uint32_t codePoint = lead.payload;
  uint8_t low = lead.firstLow;
  uint8_t high = lead.firstHigh;
  size_t next = start + 1;
  int taken = 0;
  for (; taken < lead.continuationBytes && next < bytes.size(); ++taken, ++next) {
    const auto continuation = static_cast<uint8_t>(bytes[next]);
    if (continuation < low || continuation > high) break;
    codePoint = (codePoint << 6) | (continuation & 0x3Fu);
    low = 0x80;
    high = 0xBF;
  }
  if (taken != lead.continuationBytes) return {next, std::nullopt};
  return {next, codePoint};
}

}  // namespace

std::u16string decodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const Utf8Sequence sequence = readUtf8Sequence(bytes, i);
    if (sequence.codePoint)
      appendCodePoint(out, *sequence.codePoint);
    else
      out.push_back(kReplacement);
    i = sequence.end;
  }
  return out;
}

bool isValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const Utf8Sequence sequence = readUtf8Sequence(bytes, i);
    if (!sequence.codePoint) return false;
    i = sequence.end;
  }
  return true;
}

std::u16string decodeUtf16(std::string_view bytes, ByteOrder order) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  const size_t whole = bytes.size() / 2 * 2;
  size_t i = 0;
  while (i < whole) {
    const char16_t unit = unitAt(bytes, i, order);
    i += 2;
    if (isHighSurrogate(unit) && i < whole && isLowSurrogate(unitAt(bytes, i, order))) {
      out.push_back(unit);
      out.push_back(unitAt(bytes, i, order));
      i += 2;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      out.push_back(kReplacement);
    } else {
      out.push_back(unit);
    }
  }
  if (whole != bytes.size()) out.push_back(kReplacement);
  return out;
}

std::string encodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t codePoint = text[i];
    if (isHighSurrogate(codePoint) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (isHighSurrogate(codePoint) || isLowSurrogate(codePoint)) {
      codePoint = kReplacement;
    }
    if (codePoint < 0x80) {
      out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
  }
  return out;
}

}  // namespace platform
