#include "platform/PlainFileName.h"

#include <array>

namespace platform {
namespace {

constexpr std::u16string_view kForbidden = u"/\\:<>\"|?*";

char16_t upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

// Windows opens the device, not a file, for these names, whatever extension follows them.
bool isDeviceName(std::u16string_view name) {
  static constexpr std::array<std::u16string_view, 4> kPlain = {u"CON", u"PRN", u"AUX", u"NUL"};
  const std::u16string_view stem = name.substr(0, name.find(u'.'));
  for (std::u16string_view device : kPlain)
    if (equalsNoCase(stem, device)) return true;
  if (stem.size() == 4 &&
      (equalsNoCase(stem.substr(0, 3), u"COM") || equalsNoCase(stem.substr(0, 3), u"LPT")))
    return stem[3] >= u'1' && stem[3] <= u'9';
  return false;
}

}  // namespace

bool isPlainFileName(std::u16string_view name) {
  if (name.empty()) return false;
  for (char16_t c : name)
    if (c < 0x20 || c == 0x7F || kForbidden.find(c) != std::u16string_view::npos) return false;
  if (name.find_first_not_of(u'.') == std::u16string_view::npos) return false;
  if (name.back() == u'.' || name.back() == u' ') return false;
  return !isDeviceName(name);
}

}  // namespace platform
