#include "branding/CornerButton.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace branding {
namespace {

constexpr double kDisabledOpacity = 0.6;
constexpr uint32_t kGlowColour = 0xFF4F4848u;
constexpr double kGlowOpacity = 0.9;
constexpr double kGlowSoftness = 0.4;

// The pressed look: a glow along the inside of the border that fades towards the middle.
// Softness is the share of the half-height the glow reaches into.
void paintInnerGlow(QPainter& painter, const QRectF& area) {
  const double reach = std::max(1.0, kGlowSoftness * std::min(area.width(), area.height()) / 2.0);
  QColor edge = QColor::fromRgba(kGlowColour);
  edge.setAlphaF(static_cast<float>(kGlowOpacity));
  QColor clear = edge;
  clear.setAlpha(0);
  auto band = [&](QPointF from, QPointF to, const QRectF& strip) {
    QLinearGradient fade(from, to);
    fade.setColorAt(0, edge);
    fade.setColorAt(1, clear);
    painter.fillRect(strip, fade);
  };
  band(area.topLeft(), area.topLeft() + QPointF(0, reach),
       QRectF(area.left(), area.top(), area.width(), reach));
  band(area.bottomLeft(), area.bottomLeft() - QPointF(0, reach),
       QRectF(area.left(), area.bottom() - reach, area.width(), reach));
  band(area.topLeft(), area.topLeft() + QPointF(reach, 0),
       QRectF(area.left(), area.top(), reach, area.height()));
  band(area.topRight(), area.topRight() - QPointF(reach, 0),
       QRectF(area.right() - reach, area.top(), reach, area.height()));
}

}  // namespace

CornerButton::CornerButton(QWidget* parent) : QPushButton(parent) {}

void CornerButton::setStyleLookup(const QString& name) {
  styleName_ = name;
  style_ = StyleBook::lookup(name);
  update();
}

void CornerButton::setTextColour(uint32_t argb) {
  textColour_ = argb;
  // The standard look draws its label from the palette.
  QPalette colours = palette();
  colours.setColor(QPalette::ButtonText, QColor::fromRgba(argb));
  setPalette(colours);
  update();
}

void CornerButton::setSides(Sides sides) {
  frame_.sides = sides;
  update();
}

void CornerButton::setCorners(Corners corners) {
  frame_.corners = corners;
  update();
}

void CornerButton::setXRadius(double radius) {
  frame_.xRadius = radius;
  update();
}

void CornerButton::setYRadius(double radius) {
  frame_.yRadius = radius;
  update();
}

void CornerButton::setCornerType(CornerType type) {
  frame_.cornerType = type;
  update();
}

void CornerButton::paintEvent(QPaintEvent* event) {
  if (style_)
    paintStyled(*style_);
  else
    QPushButton::paintEvent(event);
}

void CornerButton::paintStyled(const ButtonStyle& style) {
  QPainter painter(this);
  if (isEnabled()) {
    paintLook(painter, style);
    return;
  }
  // Disabled, the button is faded as a whole: drawn first, then laid over its parent at 0.6, so
  // that the fill does not show through the border or the label.
  const qreal ratio = devicePixelRatioF();
  QImage layer((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  layer.setDevicePixelRatio(ratio);
  layer.fill(Qt::transparent);
  {
    QPainter onLayer(&layer);
    paintLook(onLayer, style);
  }
  painter.setOpacity(kDisabledOpacity);
  painter.drawImage(QPoint(0, 0), layer);
}

void CornerButton::paintLook(QPainter& painter, const ButtonStyle& style) const {
  // Straight edges stay sharp: they lie on pixel edges, the border on pixel centres.
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF area = rect();
  const QPainterPath background = frame_.background(area);
  painter.fillPath(background, style.background.over(area));
  if (isDown()) {
    painter.save();
    painter.setClipPath(background);
    paintInnerGlow(painter, area);
    painter.restore();
  }
  painter.strokePath(frame_.border(area), QPen(QColor::fromRgba(style.border), 1, Qt::SolidLine,
                                               Qt::SquareCap, Qt::MiterJoin));
  painter.setPen(QColor::fromRgba(textColour_));
  painter.setFont(font());
  const QRect label = rect().adjusted(5, 2, -5, -2);
  painter.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, text());
}

}  // namespace branding
