// A rectangle with square corners and no border, filled with a solid colour or a gradient.
#pragma once

#include "branding/Gradient.h"

#include <QWidget>

namespace branding {

class FilledRectangle : public QWidget {
  Q_OBJECT

public:
  enum class Fill { None, Solid, Gradient };

  explicit FilledRectangle(QWidget* parent = nullptr);

  Fill fillKind() const { return kind_; }
  const Gradient& gradient() const { return gradient_; }
  uint32_t solidColour() const { return solid_; }

  // A gradient fill keeps the gradient the rectangle has (the undesigned one at first).
  void setGradientFill();
  // Copies the gradient whole: later changes of the source do not reach this fill.
  void setGradient(const Gradient& gradient);
  void setSolidFill(uint32_t argb);
  Gradient& editGradient() { return gradient_; }  // for colour changes; call update() after

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  Fill kind_ = Fill::None;
  Gradient gradient_;
  uint32_t solid_ = 0xFFFFFFFFu;
};

}  // namespace branding
