// The real main window, branded for a product line and grabbed offscreen: the colours at the
// places the design tables define. Expected colours are worked out here from the tables, not
// from the code that draws them.
#include "app/UpdateFrm.h"
#include "branding/CornerButton.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "tests/support/DesignedStops.h"
#include "tests/support/FixedResources.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTest>
#include <optional>

namespace branding {
namespace {

namespace designed = testsupport::designed;
using Stops = QVector<GradientStop>;

// A gradient from the tables: stops, and whether it runs along the height (else the width),
// from offset 0 at the top or left edge (else at the bottom or right edge).
struct Designed {
  Stops stops;
  bool vertical;
  bool fromTopOrLeft;
};

// The colour at offset t: the first stop's before it, the last stop's after it, linear between
// the last stop at or before t and the next.
QRgb colourAt(const Stops& stops, double t) {
  if (t <= stops.front().offset) return stops.front().argb;
  for (qsizetype i = stops.size() - 1; i > 0; --i) {
    if (stops[i - 1].offset > t) continue;
    const GradientStop& a = stops[i - 1];
    const GradientStop& b = stops[i];
    if (t >= b.offset) return b.argb;
    const double f = (t - a.offset) / (b.offset - a.offset);
    const auto mix = [f](int x, int y) { return static_cast<int>(std::lround(x + f * (y - x))); };
    return qRgb(mix(qRed(a.argb), qRed(b.argb)), mix(qGreen(a.argb), qGreen(b.argb)),
                mix(qBlue(a.argb), qBlue(b.argb)));
  }
  return stops.back().argb;
}

// The designed colour at a pixel of a rectangle filled with the gradient.
QRgb designedAt(const Designed& gradient, const QRect& area, QPoint pixel) {
  const double along = gradient.vertical ? (pixel.y() - area.top() + 0.5) / area.height()
                                         : (pixel.x() - area.left() + 0.5) / area.width();
  return colourAt(gradient.stops, gradient.fromTopOrLeft ? along : 1 - along);
}

int channelDistance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                   std::abs(qBlue(a) - qBlue(b))});
}

#define EXPECT_COLOUR_NEAR(got, want, tolerance)                     \
  EXPECT_LE(channelDistance(got, want), tolerance)                   \
      << "got " << QColor(got).name().toStdString() << ", designed " \
      << QColor(want).name().toStdString()

constexpr QRgb kBanner = 0xFF1F4E79u;           // the fixed resources' "Banner"
constexpr QRgb kBannerGradiente = 0xFF6FA8DCu;  // and "BannerGradiente"

struct ButtonLook {
  Designed background;
  QRgb border;
};

struct ProductCase {
  const char* code;
  Designed page;
  Designed banner;
  std::optional<ButtonLook> buttons;  // none: the standard look
};

const Designed kPexPage{designed::pexPage, false, true};
const Designed kDesignedBanner{designed::banner, true, false};

const ProductCase kProducts[] = {
    {"KUB",
     {designed::kubPage, true, true},
     {{{designed::banner[0].offset, kBanner}, {1, kBannerGradiente}}, true, false},
     ButtonLook{{designed::kubButton, true, true}, designed::kubButtonBorder}},
    {"ZIR",
     {designed::zirPage, true, false},
     {{{0, kBanner}}, true, true},
     ButtonLook{{designed::zirButton, true, false}, designed::zirButtonBorder}},
    {"PEX", kPexPage, kDesignedBanner,
     ButtonLook{{designed::pexButton, true, true}, designed::pexButtonBorder}},
    {"kub", kPexPage, kDesignedBanner, std::nullopt},
    {"QRS", kPexPage, kDesignedBanner, std::nullopt},
};

void PrintTo(const ProductCase& row, std::ostream* out) {
  *out << row.code;
}

// The window of a product line after its first show, on screen (offscreen) at its laid-out
// size, with the catalogue it takes its looks from.
class BrandedWindow : public ::testing::TestWithParam<ProductCase> {
protected:
  void SetUp() override {
    resources.sistema = GetParam().code;
    window.setStyleCatalogue(&catalogue);
    window.FormShow();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  QImage grab() { return window.grab().toImage(); }
  // A widget's rectangle in the window's coordinates.
  QRect placeOf(const QWidget* widget) const {
    return QRect(widget->mapTo(&window, QPoint(0, 0)), widget->size());
  }

  testsupport::FixedResources resources;
  app::TUpdateFrm window{resources, "/nonexistent/updater/"};
  TEstiloComponentesUpdaterFrm catalogue{resources};
};

// Product lines with designed buttons, and codes that get the platform's standard buttons.
class StyledButtons : public BrandedWindow {};
class StandardButtons : public BrandedWindow {};

TEST_P(BrandedWindow, PageBackgroundFollowsTheProductLinesGradient) {
  const Designed& page = GetParam().page;
  const QRect area = placeOf(window.Fondo1);
  const QImage image = grab();
  // Along the gradient at its start, middle and end, where no control covers the page: the
  // margin beside the content column, or the strip below "Salir".
  const int across = area.bottom() - 3;
  const int beside = area.left() + 10;
  const QPoint points[] = {
      page.vertical ? QPoint(beside, area.top() + 1) : QPoint(area.left() + 1, across),
      page.vertical ? QPoint(beside, area.center().y()) : QPoint(area.center().x(), across),
      page.vertical ? QPoint(beside, area.bottom() - 1) : QPoint(area.right() - 1, across),
  };
  for (const QPoint& point : points) {
    SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
    EXPECT_COLOUR_NEAR(image.pixel(point), designedAt(page, area, point), 3);
  }
}

TEST_P(BrandedWindow, BannerFromBottomToTopEdge) {
  const QRect area = placeOf(window.Banner);
  const QImage image = grab();
  // Right of the title, where the banner shows alone.
  const int x = area.right() - 10;
  for (const int y : {area.top(), area.top() + 5, area.center().y(), area.bottom()}) {
    SCOPED_TRACE(testing::Message() << "at row " << y);
    EXPECT_COLOUR_NEAR(image.pixel(x, y), designedAt(GetParam().banner, area, {x, y}), 3);
  }
}

TEST_P(StyledButtons, ShowTheirBackgroundAndBorder) {
  const ButtonLook& look = *GetParam().buttons;
  const QImage image = grab();
  for (const CornerButton* button : {window.CornerButton1, window.CornerButton2}) {
    SCOPED_TRACE(button->objectName().toStdString());
    const QRect area = placeOf(button);
    // Inside the border, left of the label: near the top and near the bottom.
    for (const QPoint point :
         {QPoint(area.left() + 2, area.top() + 1), QPoint(area.left() + 2, area.bottom() - 1)}) {
      SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
      EXPECT_COLOUR_NEAR(image.pixel(point), designedAt(look.background, area, point), 3);
    }
    for (const QPoint point : {QPoint(area.left(), area.center().y()), area.topRight(),
                               QPoint(area.center().x(), area.bottom())}) {
      SCOPED_TRACE(testing::Message() << "border at " << point.x() << "," << point.y());
      EXPECT_COLOUR_NEAR(image.pixel(point), look.border, 1);
    }
  }
}

TEST_P(StyledButtons, PressedGlowShowsOnlyWhileTheButtonIsHeld) {
  CornerButton* button = window.CornerButton1;
  const QRect area = placeOf(button);
  // Just inside the left border, halfway down: where the glow is strong.
  const QPoint point(area.left() + 2, area.center().y());
  const QRgb glow = 0xFF4F4848u;
  const QRgb released = grab().pixel(point);

  QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
  ASSERT_TRUE(button->isDown());
  const QRgb held = grab().pixel(point);
  EXPECT_LT(channelDistance(held, glow), channelDistance(released, glow) * 3 / 4)
      << "held " << QColor(held).name().toStdString() << ", released "
      << QColor(released).name().toStdString();

  // Let go outside the button: no click, and the glow goes.
  QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-20, -20));
  ASSERT_FALSE(button->isDown());
  EXPECT_COLOUR_NEAR(grab().pixel(point), released, 1);
}

TEST_P(StyledButtons, DisabledUpdateButtonIsItsStyleAtSixTenthsOpacity) {
  CornerButton* button = window.CornerButton16;
  ASSERT_FALSE(button->isEnabled()) << "the first show disables it";
  const QRect area = placeOf(button);
  const QPoint inside(area.left() + 2, area.bottom() - 2);
  const QPoint border(area.left(), area.center().y());
  const QImage disabled = grab();
  button->setEnabled(true);
  const QImage enabled = grab();
  button->hide();
  const QImage behind = grab();
  for (const QPoint point : {inside, border}) {
    SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
    const QRgb over = enabled.pixel(point), under = behind.pixel(point);
    const QRgb faded = qRgb(qRound(0.6 * qRed(over) + 0.4 * qRed(under)),
                            qRound(0.6 * qGreen(over) + 0.4 * qGreen(under)),
                            qRound(0.6 * qBlue(over) + 0.4 * qBlue(under)));
    EXPECT_COLOUR_NEAR(disabled.pixel(point), faded, 2);
  }
}

TEST_P(StandardButtons, KeepThePlatformLook) {
  // "Salir", then in its place a plain push button with the same text, font and text colour:
  // the two look the same over the same background.
  CornerButton* button = window.CornerButton2;
  EXPECT_FALSE(button->hasStyle());
  const QRect area = placeOf(button);
  const QImage shown = window.grab(area).toImage();
  QPushButton plain(button->text(), button->parentWidget());
  plain.setFont(button->font());
  plain.setPalette(button->palette());
  plain.setGeometry(button->geometry());
  button->hide();
  plain.show();
  EXPECT_EQ(window.grab(area).toImage(), shown);
}

std::string rowName(const ::testing::TestParamInfo<ProductCase>& row) {
  return std::string(row.param.code) + (QString(row.param.code).isUpper() ? "" : "_other");
}

INSTANTIATE_TEST_SUITE_P(Products, BrandedWindow, ::testing::ValuesIn(kProducts), rowName);
INSTANTIATE_TEST_SUITE_P(Products, StyledButtons,
                         ::testing::Values(kProducts[0], kProducts[1], kProducts[2]), rowName);
INSTANTIATE_TEST_SUITE_P(Products, StandardButtons, ::testing::Values(kProducts[3], kProducts[4]),
                         rowName);

}  // namespace
}  // namespace branding
