// Colours a decoded image must show at a few points: what the image tests compare, within a
// tolerance per channel, since decoders round differently.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <utility>
#include <vector>

namespace brandingtest {

using Samples = std::vector<std::pair<QPoint, QRgb>>;

// Alpha is compared too unless the decoder is known to give none (alpha within 2).
inline void expectSamples(const QImage& image, const Samples& samples, int tolerance,
                          bool compareAlpha = true) {
  for (const auto& [point, colour] : samples) {
    SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
    const QRgb got = image.pixel(point);
    EXPECT_NEAR(qRed(got), qRed(colour), tolerance);
    EXPECT_NEAR(qGreen(got), qGreen(colour), tolerance);
    EXPECT_NEAR(qBlue(got), qBlue(colour), tolerance);
    if (compareAlpha) {
      EXPECT_NEAR(qAlpha(got), qAlpha(colour), 2);
    }
  }
}

}  // namespace brandingtest
