// An image control: shows its picture scaled to fit inside it, keeping the aspect ratio, centred.
#pragma once

#include <QImage>
#include <QWidget>

namespace branding {

class ImageControl : public QWidget {
  Q_OBJECT

public:
  explicit ImageControl(QWidget* parent = nullptr);
  void setPicture(const QImage& picture);
  const QImage& picture() const { return picture_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QImage picture_;
};

}  // namespace branding
