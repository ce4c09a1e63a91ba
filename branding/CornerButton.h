// A push button drawn by a named style from the application's style books: a background
// rectangle with a one-pixel border, and a one-line label inset 5 pixels left and right and
// 2 pixels top and bottom. The button's own frame settings choose the sides the border strokes
// and the corners it cuts; the style gives the colours. Held down, it shows an inner glow;
// disabled, it is drawn at 0.6 opacity. Without a style it keeps the platform's standard look.
#pragma once

#include "branding/ButtonFrame.h"
#include "branding/StyleBook.h"

#include <QPushButton>

class QPainter;
#include <optional>

namespace branding {

class CornerButton : public QPushButton {
  Q_OBJECT

public:
  explicit CornerButton(QWidget* parent = nullptr);

  // Looks the style up now; an empty or unknown name gives the standard look.
  void setStyleLookup(const QString& name);
  QString styleLookup() const { return styleName_; }
  bool hasStyle() const { return style_.has_value(); }
  const std::optional<ButtonStyle>& style() const { return style_; }

  void setTextColour(uint32_t argb);
  uint32_t textColour() const { return textColour_; }

  // All four sides and square corners (radius 3, none selected) unless changed; a change is
  // drawn at once.
  const ButtonFrame& frame() const { return frame_; }
  void setSides(Sides sides);
  void setCorners(Corners corners);
  void setXRadius(double radius);
  void setYRadius(double radius);
  void setCornerType(CornerType type);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void paintStyled(const ButtonStyle& style);
  void paintLook(QPainter& painter, const ButtonStyle& style) const;

  QString styleName_;
  std::optional<ButtonStyle> style_;
  uint32_t textColour_ = 0xFF000000u;
  ButtonFrame frame_;
};

}  // namespace branding
