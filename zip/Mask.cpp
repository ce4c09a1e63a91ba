#include "zip/Mask.h"

namespace zip {
namespace {

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

char fold(char c) {
  if (isSeparator(c)) return '/';
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Bytes of the UTF-8 character that begins at text[0], so "?" takes a whole character.
size_t characterLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return length <= text.size() ? length : 1;
}

// Iterative wildcard match that backtracks only to the last "*": linear in practice and never
// exponential, whatever the mask.
bool wildcardMatch(std::string_view text, std::string_view mask) {
  size_t t = 0;
  size_t m = 0;
  size_t starMask = std::string_view::npos;
  size_t starText = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starText = t;
    } else if (m < mask.size() && mask[m] == '?') {
      t += characterLength(text.substr(t));
      ++m;
    } else if (m < mask.size() && fold(mask[m]) == fold(text[t])) {
      ++t;
      ++m;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      starText += characterLength(text.substr(starText));
      t = starText;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool matchesMask(std::string_view name, std::string_view mask) {
  if (!name.empty() && isSeparator(name.back())) name.remove_suffix(1);
  const bool maskHasDirectory = mask.find_first_of("/\\") != std::string_view::npos;
  if (maskHasDirectory) return !name.empty() && wildcardMatch(name, mask);
  const size_t lastSeparator = name.find_last_of("/\\");
  const std::string_view last =
      lastSeparator == std::string_view::npos ? name : name.substr(lastSeparator + 1);
  return !last.empty() && wildcardMatch(last, mask);
}

}  // namespace zip
