// The outline of a styled button's background: which sides its one-pixel border strokes, which
// corners are cut, how far and in which way. These are the button's own settings; the style
// only gives the colours.
#pragma once

#include <QFlags>
#include <QPainterPath>
#include <QRectF>

namespace branding {

enum class Side { Top = 0x1, Left = 0x2, Bottom = 0x4, Right = 0x8 };
Q_DECLARE_FLAGS(Sides, Side)
enum class Corner { TopLeft = 0x1, TopRight = 0x2, BottomLeft = 0x4, BottomRight = 0x8 };
Q_DECLARE_FLAGS(Corners, Corner)
Q_DECLARE_OPERATORS_FOR_FLAGS(Sides)
Q_DECLARE_OPERATORS_FOR_FLAGS(Corners)

// How a selected corner is cut: a convex quarter ellipse, a straight bevel, a concave quarter
// ellipse around the corner point, or a square notch.
enum class CornerType { Round, Bevel, InnerRound, InnerLine };

struct ButtonFrame {
  Sides sides = Side::Top | Side::Left | Side::Bottom | Side::Right;
  Corners corners;  // none: square corners
  double xRadius = 3;
  double yRadius = 3;
  CornerType cornerType = CornerType::Round;

  // The area the background fills inside bounds (a widget's rect()): bounds with the selected
  // corners cut. Radii beyond half the width or height are cut to it.
  QPainterPath background(const QRectF& bounds) const;
  // The centre line of the border, for a pen one pixel wide with square caps: every selected
  // side, and the corner between two selected sides. Empty when no side is selected.
  QPainterPath border(const QRectF& bounds) const;
};

}  // namespace branding
