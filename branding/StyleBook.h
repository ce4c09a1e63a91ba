// A collection of named button styles. A button finds its style in the style books of the whole
// application, by name, without regard to case.
#pragma once

#include "branding/Gradient.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <optional>

namespace branding {

struct ButtonStyle {
  QString name;
  Gradient background;
  uint32_t border = 0xFFBFBFBFu;
};

class StyleBook : public QObject {
  Q_OBJECT

public:
  explicit StyleBook(QObject* parent = nullptr);
  void add(ButtonStyle style);
  std::optional<ButtonStyle> find(const QString& name) const;

  // Looks through every style book owned by a top-level widget of the application.
  static std::optional<ButtonStyle> lookup(const QString& name);

private:
  QVector<ButtonStyle> styles_;
};

}  // namespace branding
