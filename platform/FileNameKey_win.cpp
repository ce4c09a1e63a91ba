#include "platform/FileNameKey.h"

#include <windows.h>

#include "platform/Unicode.h"

namespace platform {

// NTFS compares names by an upper-case table of single UTF-16 units; the invariant locale's
// simple upper-casing is that mapping, with no language's special rules and no change of length.
std::string fileNameKey(std::string_view name) {
  std::u16string text = decodeUtf8(name);
  if (text.empty()) return {};
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  std::u16string upper(text.size(), u'\0');
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, units, length,
                    reinterpret_cast<wchar_t*>(upper.data()), length, nullptr, nullptr,
                    0) != length) {
    return encodeUtf8(text);
  }
  return encodeUtf8(upper);
}

}  // namespace platform
