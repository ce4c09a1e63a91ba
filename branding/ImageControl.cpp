#include "branding/ImageControl.h"

#include <QPainter>

namespace branding {

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {}

void ImageControl::setPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void ImageControl::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize fitted = picture_.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                     fitted);
  painter.drawImage(target, picture_);
}

}  // namespace branding
