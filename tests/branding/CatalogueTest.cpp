#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "tests/support/FixedResources.h"

#include <gtest/gtest.h>

namespace branding {
namespace {

struct CatalogueCase {
  const char* code;
  QPointF start, stop;
  QVector<GradientStop> firstTwoStops;
  const char* buttonStyle;
};

class CatalogueTest : public ::testing::TestWithParam<CatalogueCase> {};

TEST_P(CatalogueTest, GivesTheProductLinesGradientAndButtonStyle) {
  const CatalogueCase& c = GetParam();
  testsupport::FixedResources resources;
  resources.sistema = c.code;
  TEstiloComponentesUpdaterFrm catalogue(resources);

  const Gradient& gradient = catalogue.getRectangleGradient();
  EXPECT_EQ(gradient.start, c.start);
  EXPECT_EQ(gradient.stop, c.stop);
  EXPECT_EQ(gradient.stops.mid(0, 2), c.firstTwoStops);
  EXPECT_EQ(catalogue.getButtonStyle(), QString(c.buttonStyle));
  EXPECT_GE(resources.sistemaCalls.load(), 2) << "the code is asked anew on every call";
}

const QVector<GradientStop> kKub{{0, 0xFFE8ECEDu}, {1, 0xFFA0A0A0u}};
const QVector<GradientStop> kZir{{0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}};
const QVector<GradientStop> kPex{{0, 0xFFD1D3D4u}, {0.4223602, 0xFFF8F8F9u}};

INSTANTIATE_TEST_SUITE_P(
    Codes, CatalogueTest,
    ::testing::Values(CatalogueCase{"KUB", {0, 0}, {0, 1}, kKub, "CornerButtonKubStyle1"},
                      CatalogueCase{"ZIR", {0.5, 1}, {0.5, 0}, kZir, "CornerButtonZIRStyle1"},
                      CatalogueCase{"PEX", {0, 0.5}, {1, 0.5}, kPex, "CornerButtonPexStyle1"},
                      CatalogueCase{"kub", {0, 0.5}, {1, 0.5}, kPex, ""},
                      CatalogueCase{"", {0, 0.5}, {1, 0.5}, kPex, ""}),
    [](const auto& row) {
      return row.param.code[0] ? std::string(row.param.code) : std::string("Empty");
    });

TEST(StyleBook, ButtonsFindTheCataloguesStylesWithoutRegardToCase) {
  testsupport::FixedResources resources;
  TEstiloComponentesUpdaterFrm catalogue(resources);
  CornerButton button;
  button.setStyleLookup("cornerbuttonzirstyle1");
  ASSERT_TRUE(button.hasStyle());
  EXPECT_EQ(button.style()->border, 0xFFBFBFBFu);
  button.setStyleLookup("");
  EXPECT_FALSE(button.hasStyle());
  button.setStyleLookup("NoSuchStyle");
  EXPECT_FALSE(button.hasStyle());
}

}  // namespace
}  // namespace branding
