#include "versioncheck/VersionText.h"

namespace versioncheck {

std::u16string newestVersionFromHeader(std::u16string_view header) {
  const size_t blank = header.find(u' ');
  if (blank == std::u16string_view::npos) return std::u16string(header);
  return std::u16string(header.substr(blank + 1));
}

std::u16string_view trimControlAndBlanks(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && text[begin] <= u' ') ++begin;
  while (end > begin && text[end - 1] <= u' ') --end;
  return text.substr(begin, end - begin);
}

bool updateOffered(std::u16string_view newestVersion, std::u16string_view installedVersion) {
  return trimControlAndBlanks(newestVersion) != trimControlAndBlanks(installedVersion);
}

}  // namespace versioncheck
