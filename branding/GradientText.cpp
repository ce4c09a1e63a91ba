#include "branding/GradientText.h"

#include <QStringList>

namespace branding {
namespace {

double number(const QString& text, const QString& whole) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok) throw DesignDataError("Not a number in the design data: " + whole.toStdString());
  return value;
}

uint32_t colour(const QString& text, const QString& whole) {
  bool ok = false;
  const uint32_t value = text.trimmed().toUInt(&ok, 16);
  if (!ok) throw DesignDataError("Not a colour in the design data: " + whole.toStdString());
  return value;
}

QPointF point(const QString& text, const QString& whole) {
  const QStringList xy = text.split(',');
  if (xy.size() != 2)
    throw DesignDataError("Not a point in the design data: " + whole.toStdString());
  return {number(xy[0], whole), number(xy[1], whole)};
}

}  // namespace

Gradient parseGradient(const QString& text) {
  const QStringList parts = text.split('|');
  const QStringList ends = parts.value(0).split("->");
  if (parts.size() != 2 || ends.size() != 2)
    throw DesignDataError("Not a gradient in the design data: " + text.toStdString());
  Gradient gradient;
  gradient.start = point(ends[0], text);
  gradient.stop = point(ends[1], text);
  gradient.stops.clear();
  for (const QString& stop : parts[1].split(' ', Qt::SkipEmptyParts)) {
    const QStringList offsetColour = stop.split(':');
    if (offsetColour.size() != 2)
      throw DesignDataError("Not a colour stop in the design data: " + text.toStdString());
    gradient.stops.push_back({number(offsetColour[0], text), colour(offsetColour[1], text)});
  }
  return gradient;
}

ButtonStyle parseButtonStyle(const QString& text) {
  const QStringList parts = text.split('|');
  if (parts.size() != 4)
    throw DesignDataError("Not a button style in the design data: " + text.toStdString());
  return {parts[0].trimmed(), parseGradient(parts[1] + '|' + parts[2]), colour(parts[3], text)};
}

}  // namespace branding
