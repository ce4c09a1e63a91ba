#include "branding/ImageLoading.h"
#include "tests/support/FixedResources.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QImage>

namespace branding {
namespace {

QByteArray png(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(Qt::red);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

TEST(ImageLoading, StreamAtItsEndIsReadWholeFromItsStart) {
  const QByteArray data = png(25, 25);
  testsupport::FixedImageStream stream(data, static_cast<uint64_t>(data.size()));
  EXPECT_EQ(decodeImageStream(stream).size(), QSize(25, 25));
}

TEST(ImageLoading, ReadsFromTheCurrentPosition) {
  const QByteArray data = QByteArray("junk") + png(3, 2);
  testsupport::FixedImageStream stream(data, 4);
  EXPECT_EQ(decodeImageStream(stream).size(), QSize(3, 2));
}

TEST(ImageLoading, EmptyStreamGivesNoPictureAndNoError) {
  testsupport::FixedImageStream stream({}, 0);
  EXPECT_TRUE(decodeImageStream(stream).isNull());
}

TEST(ImageLoading, UndecodableDataFails) {
  for (const QByteArray& data : {QByteArray("<html>not an image</html>"), png(4, 4).left(30)}) {
    testsupport::FixedImageStream stream(data, 0);
    EXPECT_THROW(decodeImageStream(stream), LoadingBitmapError);
  }
}

}  // namespace
}  // namespace branding
