#include "branding/StyleBook.h"

#include <QApplication>
#include <QWidget>

namespace branding {

StyleBook::StyleBook(QObject* parent) : QObject(parent) {}

void StyleBook::add(ButtonStyle style) {
  styles_.push_back(std::move(style));
}

std::optional<ButtonStyle> StyleBook::find(const QString& name) const {
  for (const ButtonStyle& style : styles_)
    if (style.name.compare(name, Qt::CaseInsensitive) == 0) return style;
  return std::nullopt;
}

std::optional<ButtonStyle> StyleBook::lookup(const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  for (QWidget* window : QApplication::topLevelWidgets())
    for (const StyleBook* book : window->findChildren<StyleBook*>())
      if (auto style = book->find(name)) return style;
  return std::nullopt;
}

}  // namespace branding
