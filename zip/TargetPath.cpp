#include "zip/TargetPath.h"

namespace zip {
namespace {

bool isSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

std::optional<std::vector<std::string>> confinedPath(std::string_view name) {
  if (!name.empty() && isSeparator(name.back())) name.remove_suffix(1);
  if (name.empty() || isSeparator(name.front())) return std::nullopt;
  if (name.find(':') != std::string_view::npos) return std::nullopt;
  if (name.find('\0') != std::string_view::npos) return std::nullopt;

  std::vector<std::string> elements;
  size_t begin = 0;
  while (begin <= name.size()) {
    size_t end = begin;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    const std::string_view element = name.substr(begin, end - begin);
    if (element.empty()) return std::nullopt;
    if (element == "..") {
      if (elements.empty()) return std::nullopt;
      elements.pop_back();
    } else if (element != ".") {
      elements.emplace_back(element);
    }
    begin = end + 1;
  }
  return elements;
}

}  // namespace zip
