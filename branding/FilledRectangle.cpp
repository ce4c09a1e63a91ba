#include "branding/FilledRectangle.h"

#include <QPainter>

namespace branding {

FilledRectangle::FilledRectangle(QWidget* parent) : QWidget(parent) {}

void FilledRectangle::setGradientFill() {
  kind_ = Fill::Gradient;
  update();
}

void FilledRectangle::setGradient(const Gradient& gradient) {
  kind_ = Fill::Gradient;
  gradient_ = gradient;
  update();
}

void FilledRectangle::setSolidFill(uint32_t argb) {
  kind_ = Fill::Solid;
  solid_ = argb;
  update();
}

void FilledRectangle::paintEvent(QPaintEvent*) {
  if (kind_ == Fill::None) return;
  QPainter painter(this);
  const QRectF area = rect();
  if (kind_ == Fill::Solid)
    painter.fillRect(area, QColor::fromRgba(solid_));
  else
    painter.fillRect(area, gradient_.over(area));
}

}  // namespace branding
