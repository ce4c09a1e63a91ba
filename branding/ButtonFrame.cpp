#include "branding/ButtonFrame.h"

#include <algorithm>
#include <array>

namespace branding {
namespace {

// A quarter ellipse drawn as one cubic: the control points lie this far along the tangents.
constexpr double kQuarterEllipse = 0.5522847498;

// One corner of the outline, walked clockwise: the corner point, where the outline leaves the
// side before it (from) and reaches the side after it (to).
struct CornerWalk {
  QPointF point, from, to;
};

// The four corners in clockwise order from the top-left, with the sides between them: side i
// runs from corner i's `to` to corner i+1's `from`.
std::array<CornerWalk, 4> walk(const QRectF& r, const ButtonFrame& frame) {
  const double rx = std::clamp(frame.xRadius, 0.0, r.width() / 2);
  const double ry = std::clamp(frame.yRadius, 0.0, r.height() / 2);
  const auto cut = [&](Corner corner) { return frame.corners.testFlag(corner); };
  const double tl = cut(Corner::TopLeft) ? 1 : 0, tr = cut(Corner::TopRight) ? 1 : 0;
  const double br = cut(Corner::BottomRight) ? 1 : 0, bl = cut(Corner::BottomLeft) ? 1 : 0;
  return {{
      {r.topLeft(), {r.left(), r.top() + tl * ry}, {r.left() + tl * rx, r.top()}},
      {r.topRight(), {r.right() - tr * rx, r.top()}, {r.right(), r.top() + tr * ry}},
      {r.bottomRight(), {r.right(), r.bottom() - br * ry}, {r.right() - br * rx, r.bottom()}},
      {r.bottomLeft(), {r.left() + bl * rx, r.bottom()}, {r.left(), r.bottom() - bl * ry}},
  }};
}

// Continues path, which stands at corner.from, round the corner to corner.to.
void turn(QPainterPath& path, const CornerWalk& corner, CornerType type) {
  if (corner.from == corner.to) {
    path.lineTo(corner.to);
    return;
  }
  // The point inside the rectangle that faces the corner point.
  const QPointF inner = corner.from + corner.to - corner.point;
  switch (type) {
    case CornerType::Round:
      path.cubicTo(corner.from + kQuarterEllipse * (corner.point - corner.from),
                   corner.to + kQuarterEllipse * (corner.point - corner.to), corner.to);
      break;
    case CornerType::Bevel:
      path.lineTo(corner.to);
      break;
    case CornerType::InnerRound:
      path.cubicTo(corner.from + kQuarterEllipse * (inner - corner.from),
                   corner.to + kQuarterEllipse * (inner - corner.to), corner.to);
      break;
    case CornerType::InnerLine:
      path.lineTo(inner);
      path.lineTo(corner.to);
      break;
  }
}

}  // namespace

QPainterPath ButtonFrame::background(const QRectF& bounds) const {
  const auto walked = walk(bounds, *this);
  QPainterPath path(walked[0].to);
  for (int i = 1; i <= 4; ++i) {
    path.lineTo(walked[i % 4].from);
    turn(path, walked[i % 4], cornerType);
  }
  path.closeSubpath();
  return path;
}

QPainterPath ButtonFrame::border(const QRectF& bounds) const {
  // Half a pixel in, so that a one-pixel pen covers the outermost pixels exactly.
  const auto walked = walk(bounds.adjusted(0.5, 0.5, -0.5, -0.5), *this);
  constexpr Side kSideAfter[4] = {Side::Top, Side::Right, Side::Bottom, Side::Left};
  QPainterPath path;
  for (int i = 0; i < 4; ++i) {
    const Side side = kSideAfter[i];
    const Side before = kSideAfter[(i + 3) % 4];
    if (sides.testFlag(side)) {
      path.moveTo(walked[i].to);
      path.lineTo(walked[(i + 1) % 4].from);
    }
    if (sides.testFlag(side) && sides.testFlag(before) && walked[i].from != walked[i].to) {
      path.moveTo(walked[i].from);
      turn(path, walked[i], cornerType);
    }
  }
  return path;
}

}  // namespace branding
