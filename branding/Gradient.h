// A linear gradient as the window's fills and button styles describe it: colour stops and a
// start and stop point given as fractions of the filled rectangle.
#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QPointF>
#include <QRectF>
#include <QVector>
#include <cstdint>

namespace branding {

struct GradientStop {
  double offset = 0;
  uint32_t argb = 0;  // $AARRGGBB
  bool operator==(const GradientStop&) const = default;
};

struct Gradient {
  QVector<GradientStop> stops{{0.0, 0xFF000000u},
                              {1.0, 0xFFFFFFFFu}};  // undesigned: black to white
  QPointF start{0, 0};
  QPointF stop{0, 1};  // top edge to bottom edge
  bool operator==(const Gradient&) const = default;

  // Setting a colour keeps the stop's offset; a gradient with too few stops ignores it.
  void setFirstColour(uint32_t argb) {
    if (!stops.isEmpty()) stops[0].argb = argb;
  }
  void setSecondColour(uint32_t argb) {
    if (stops.size() > 1) stops[1].argb = argb;
  }

  // The gradient laid over a rectangle, for QPainter.
  QLinearGradient over(const QRectF& rect) const {
    QLinearGradient linear(
        rect.left() + start.x() * rect.width(), rect.top() + start.y() * rect.height(),
        rect.left() + stop.x() * rect.width(), rect.top() + stop.y() * rect.height());
    for (const GradientStop& s : stops) linear.setColorAt(s.offset, QColor::fromRgba(s.argb));
    return linear;
  }
};

}  // namespace branding
