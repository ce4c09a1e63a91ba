#include "zip/EntryName.h"

#include <algorithm>

#include "zip/Crc32.h"
#include "zip/ExtraField.h"
#include "zip/LittleEndian.h"
#include "zip/ZipEntry.h"

namespace zip {
namespace {

bool hasHighBytes(std::string_view bytes) {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 127; });
}

bool hasNul(std::string_view bytes) {
  return bytes.find('\0') != std::string_view::npos;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Single-byte code pages give no surrogates, but a lone one would become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

// The UTF-8 name of an Info-ZIP Unicode Path field, when the field is whole, of version 1,
// and made for exactly these name bytes.
std::optional<std::string_view> unicodePathName(std::string_view rawName,
                                                std::string_view extraField) {
  const auto field = findExtraField(extraField, InfoZipUnicodePath);
  if (!field || field->size() < 5 || static_cast<unsigned char>((*field)[0]) != 1) {
    return std::nullopt;
  }
  if (readLe32(field->data() + 1) != crc32(0, rawName.data(), rawName.size())) {
    return std::nullopt;
  }
  const std::string_view name = field->substr(5);
  if (name.empty() || hasNul(name) || !isValidUtf8(name)) return std::nullopt;
  return name;
}

}  // namespace

CodePages systemCodePages() {
  return {platform::ansiCodePage(), platform::oemCodePage()};
}

bool isValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string decodeEntryName(std::string_view rawName, uint16_t flags, uint8_t hostSystem,
                            std::string_view extraField, const CodePages& pages) {
  if (hasNul(rawName)) return {};
  if ((flags & Utf8Name) != 0) return isValidUtf8(rawName) ? std::string(rawName) : std::string();
  if (hasHighBytes(rawName) && isValidUtf8(rawName)) return std::string(rawName);
  // Also for plain ASCII names: some tools store an escaped ASCII form beside the real name.
  if (const auto unicodeName = unicodePathName(rawName, extraField)) {
    return std::string(*unicodeName);
  }
  if (!hasHighBytes(rawName)) return std::string(rawName);
  const bool oem =
      pages.ansi != pages.oem && (hostSystem == static_cast<uint8_t>(HostSystem::MsDos) ||
                                  (platform::fitsCodePage(rawName, pages.oem) &&
                                   !platform::fitsCodePage(rawName, pages.ansi)));
  return utf16ToUtf8(platform::decode(rawName, oem ? pages.oem : pages.ansi));
}

}  // namespace zip
