#include "zip/EntryName.h"

#include <algorithm>

#include "platform/Unicode.h"
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
  if (name.empty() || hasNul(name) || !platform::isValidUtf8(name)) return std::nullopt;
  return name;
}

}  // namespace

CodePages systemCodePages() {
  return {platform::ansiCodePage(), platform::oemCodePage()};
}

std::string decodeEntryName(std::string_view rawName, uint16_t flags, uint8_t hostSystem,
                            std::string_view extraField, const CodePages& pages) {
  if (hasNul(rawName)) return {};
  if ((flags & Utf8Name) != 0)
    return platform::isValidUtf8(rawName) ? std::string(rawName) : std::string();
  if (hasHighBytes(rawName) && platform::isValidUtf8(rawName)) return std::string(rawName);
  // Also for plain ASCII names: some tools store an escaped ASCII form beside the real name.
  if (const auto unicodeName = unicodePathName(rawName, extraField)) {
    return std::string(*unicodeName);
  }
  if (!hasHighBytes(rawName)) return std::string(rawName);
  const bool oem =
      pages.ansi != pages.oem && (hostSystem == static_cast<uint8_t>(HostSystem::MsDos) ||
                                  (platform::fitsCodePage(rawName, pages.oem) &&
                                   !platform::fitsCodePage(rawName, pages.ansi)));
  return platform::encodeUtf8(platform::decode(rawName, oem ? pages.oem : pages.ansi));
}

}  // namespace zip
