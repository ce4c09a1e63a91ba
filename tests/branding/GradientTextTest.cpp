#include "branding/GradientText.h"

#include <gtest/gtest.h>

namespace branding {
namespace {

TEST(GradientText, ReadsPointsAndStopsInOrder) {
  const Gradient gradient =
      parseGradient(" 0,0.5 -> 1,0.5 | 0:FFD1D3D4 0.4223602:FFF8F8F9 1:FFD1D3D4");
  EXPECT_EQ(gradient.start, QPointF(0, 0.5));
  EXPECT_EQ(gradient.stop, QPointF(1, 0.5));
  const QVector<GradientStop> stops{{0, 0xFFD1D3D4u}, {0.4223602, 0xFFF8F8F9u}, {1, 0xFFD1D3D4u}};
  EXPECT_EQ(gradient.stops, stops);
}

TEST(GradientText, ReadsAButtonStyle) {
  const ButtonStyle style = parseButtonStyle(
      "CornerButtonPexStyle1 | 0.5,0 -> 0.5,1 | 0.1583851:FF89D495 1:FF37B34A | FFC1C1C1");
  EXPECT_EQ(style.name, "CornerButtonPexStyle1");
  EXPECT_EQ(style.border, 0xFFC1C1C1u);
  ASSERT_EQ(style.background.stops.size(), 2);
  EXPECT_EQ(style.background.stops[1].argb, 0xFF37B34Au);
}

TEST(GradientText, RefusesMalformedDesignData) {
  for (const char* text :
       {"", "0,0 -> 1,1", "0,0 | 0:FF000000", "0,0 -> 1 | 0:FF000000", "0,0 -> 1,1 | 0-FF000000",
        "0,0 -> 1,1 | x:FF000000", "0,0 -> 1,1 | 0:GG000000"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(parseGradient(text), DesignDataError);
  }
}

TEST(Gradient, ColourChangesKeepOffsetsAndIgnoreMissingStops) {
  Gradient gradient;
  gradient.setSecondColour(0xFFA0A0A0u);
  gradient.setFirstColour(0xFFE8ECEDu);
  const QVector<GradientStop> expected{{0, 0xFFE8ECEDu}, {1, 0xFFA0A0A0u}};
  EXPECT_EQ(gradient.stops, expected);

  Gradient single;
  single.stops = {{0.5, 0xFF000000u}};
  single.setSecondColour(0xFFFFFFFFu);
  EXPECT_EQ(single.stops.size(), 1);
  EXPECT_EQ(single.stops[0].argb, 0xFF000000u);
}

}  // namespace
}  // namespace branding
