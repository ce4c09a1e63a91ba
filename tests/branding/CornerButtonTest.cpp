// A styled button on a magenta parent, grabbed: its border strokes the sides it selects, its
// selected corners are cut in their kind, and disabled it fades as a whole.
#include "branding/CornerButton.h"
#include "branding/StyleBook.h"

#include <gtest/gtest.h>
#include <QImage>
#include <QWidget>

namespace branding {
namespace {

constexpr QRgb kBorder = 0xFF0000FFu;      // blue
constexpr QRgb kBackground = 0xFF00FF00u;  // green, the same at every stop
constexpr QRgb kOutside = 0xFFFF00FFu;     // the parent's magenta

// A top-level parent with a style book holding one style, and a 60 x 30 button filling it.
struct Stage {
  Stage() {
    parent.resize(60, 30);
    parent.setAutoFillBackground(true);
    QPalette colours = parent.palette();
    colours.setColor(QPalette::Window, QColor::fromRgba(kOutside));
    parent.setPalette(colours);
    auto* book = new StyleBook(&parent);
    book->add({"TestStyle", {{{0, kBackground}, {1, kBackground}}, {0.5, 0}, {0.5, 1}}, kBorder});
    button = new CornerButton(&parent);
    button->setGeometry(0, 0, 60, 30);
    button->setStyleLookup("TestStyle");
  }
  QImage grab() { return parent.grab().toImage(); }
  QWidget parent;
  CornerButton* button;
};

// Which of the three colours a pixel is nearest to, with no channel more than 40 off.
char kindOf(QRgb pixel) {
  const auto near = [&](QRgb colour) {
    return std::abs(qRed(pixel) - qRed(colour)) < 40 &&
           std::abs(qGreen(pixel) - qGreen(colour)) < 40 &&
           std::abs(qBlue(pixel) - qBlue(colour)) < 40;
  };
  if (near(kBorder)) return 'B';
  if (near(kBackground)) return 'g';
  if (near(kOutside)) return '.';
  return '?';
}

struct FrameCase {
  const char* name;
  Sides sides;
  Corners corners;
  CornerType type;
  // Points and what is drawn there: 'B' border, 'g' background, '.' the parent.
  std::vector<std::pair<QPoint, char>> expected;
};

const Sides kAll = Side::Top | Side::Left | Side::Bottom | Side::Right;

void PrintTo(const FrameCase& row, std::ostream* out) {
  *out << row.name;
}

class ButtonFrameDrawing : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ButtonFrameDrawing, StrokesTheSelectedSidesAndCutsTheSelectedCorners) {
  const FrameCase& row = GetParam();
  Stage stage;
  // Set after the style: a change of the button's settings is drawn without a new style.
  stage.button->setSides(row.sides);
  stage.button->setCorners(row.corners);
  stage.button->setXRadius(8);
  stage.button->setYRadius(8);
  stage.button->setCornerType(row.type);
  const QImage image = stage.grab();
  for (const auto& [point, kind] : row.expected) {
    SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
    EXPECT_EQ(kindOf(image.pixel(point)), kind);
  }
}

// Points: the middle of each side, the corners, and points inside a cut top-left corner at
// distances that tell the four kinds apart (radius 8, corner point at 0.5, 0.5).
const QPoint kTop{30, 0}, kLeft{0, 15}, kBottom{30, 29}, kRight{59, 15}, kMiddle{30, 15};
const QPoint kTopLeft{0, 0}, kTopRight{59, 0}, kBottomLeft{0, 29}, kBottomRight{59, 29};

INSTANTIATE_TEST_SUITE_P(
    Frames, ButtonFrameDrawing,
    ::testing::Values(
        FrameCase{"AllSidesSquare",
                  kAll,
                  {},
                  CornerType::Round,
                  {{kTop, 'B'},
                   {kLeft, 'B'},
                   {kBottom, 'B'},
                   {kRight, 'B'},
                   {kTopLeft, 'B'},
                   {kBottomRight, 'B'},
                   {kMiddle, 'g'},
                   {{1, 1}, 'g'}}},
        FrameCase{"TopAndBottomOnly",
                  Side::Top | Side::Bottom,
                  {},
                  CornerType::Round,
                  {{kTop, 'B'}, {kBottom, 'B'}, {kLeft, 'g'}, {kRight, 'g'}, {kTopLeft, 'B'}}},
        FrameCase{"LeftOnly",
                  Side::Left,
                  {},
                  CornerType::Round,
                  {{kLeft, 'B'}, {kTop, 'g'}, {kBottom, 'g'}, {kRight, 'g'}, {kBottomLeft, 'B'}}},
        FrameCase{"NoSide",
                  {},
                  {},
                  CornerType::Round,
                  {{kTop, 'g'}, {kLeft, 'g'}, {kTopLeft, 'g'}, {kBottomRight, 'g'}}},
        FrameCase{"RoundTopLeft",
                  kAll,
                  Corner::TopLeft,
                  CornerType::Round,
                  {{kTopLeft, '.'},
                   {{1, 1}, '.'},
                   {{4, 4}, 'g'},
                   {kTopRight, 'B'},
                   {kBottomLeft, 'B'},
                   {kTop, 'B'},
                   {kLeft, 'B'}}},
        FrameCase{"BevelTopLeft",
                  kAll,
                  Corner::TopLeft,
                  CornerType::Bevel,
                  {{kTopLeft, '.'}, {{3, 3}, '.'}, {{5, 5}, 'g'}, {kTopRight, 'B'}}},
        FrameCase{"InnerRoundTopLeft",
                  kAll,
                  Corner::TopLeft,
                  CornerType::InnerRound,
                  {{kTopLeft, '.'}, {{4, 4}, '.'}, {{7, 7}, 'g'}, {{10, 10}, 'g'}}},
        FrameCase{"InnerLineTopLeft",
                  kAll,
                  Corner::TopLeft,
                  CornerType::InnerLine,
                  {{kTopLeft, '.'},
                   {{6, 2}, '.'},
                   {{2, 6}, '.'},
                   {{7, 7}, '.'},
                   {{10, 10}, 'g'},
                   {{8, 4}, 'B'}}},
        FrameCase{"AllCornersRoundNoSides",
                  {},
                  Corner::TopLeft | Corner::TopRight | Corner::BottomLeft | Corner::BottomRight,
                  CornerType::Round,
                  {{kTopLeft, '.'},
                   {kTopRight, '.'},
                   {kBottomLeft, '.'},
                   {kBottomRight, '.'},
                   {kTop, 'g'},
                   {kMiddle, 'g'}}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ButtonFading, DisabledButtonIsLaidOverItsParentAtSixTenthsAsAWhole) {
  Stage stage;
  stage.button->setEnabled(false);
  const QImage image = stage.grab();
  const auto faded = [](QRgb over, QRgb under) {
    return qRgb(qRound(0.6 * qRed(over) + 0.4 * qRed(under)),
                qRound(0.6 * qGreen(over) + 0.4 * qGreen(under)),
                qRound(0.6 * qBlue(over) + 0.4 * qBlue(under)));
  };
  // The border over the parent, not over the fill: the parts are composed before the fade.
  for (const auto& [point, colour] :
       {std::pair{kTop, kBorder}, std::pair{kLeft, kBorder}, std::pair{kMiddle, kBackground}}) {
    SCOPED_TRACE(testing::Message() << "at " << point.x() << "," << point.y());
    const QRgb got = image.pixel(point), want = faded(colour, kOutside);
    EXPECT_NEAR(qRed(got), qRed(want), 2);
    EXPECT_NEAR(qGreen(got), qGreen(want), 2);
    EXPECT_NEAR(qBlue(got), qBlue(want), 2);
  }
}

}  // namespace
}  // namespace branding
