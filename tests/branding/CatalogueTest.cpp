#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "tests/support/DesignedStops.h"
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

const QVector<GradientStop> kKub = testsupport::designed::kubPage.mid(0, 2);
const QVector<GradientStop> kZir = testsupport::designed::zirPage.mid(0, 2);
const QVector<GradientStop> kPex = testsupport::designed::pexPage.mid(0, 2);

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
