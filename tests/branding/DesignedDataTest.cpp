// Every designed value of the product lines' looks, as the layouts store it, against the design
// tables: the background gradients of the catalogue, the banner of the main window and the
// three button styles, with all their stops, start and stop points and border colours. A typo
// in a .ui file fails here.
#include "app/UpdateFrm.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
#include "tests/support/DesignedStops.h"
#include "tests/support/FixedResources.h"

#include <gtest/gtest.h>
#include <functional>
#include <optional>

namespace branding {
namespace {

struct Design {
  testsupport::FixedResources resources;
  app::TUpdateFrm window{resources, "/nonexistent/updater/"};
  TEstiloComponentesUpdaterFrm catalogue{resources};
};

struct Designed {
  Gradient gradient;
  std::optional<uint32_t> border;  // button styles only
};

struct DesignCase {
  const char* name;
  std::function<Designed(Design&)> read;
  Designed expected;
};

Designed buttonStyle(Design& design, const char* name) {
  const std::optional<ButtonStyle> style = design.catalogue.StyleBook1->find(name);
  if (!style) {
    ADD_FAILURE() << "no style " << name;
    return {};
  }
  EXPECT_EQ(style->name, name);
  return {style->background, style->border};
}

void PrintTo(const DesignCase& row, std::ostream* out) {
  *out << row.name;
}

class DesignedData : public ::testing::TestWithParam<DesignCase> {};

TEST_P(DesignedData, MatchesTheDesignTables) {
  const DesignCase& row = GetParam();
  Design design;
  const Designed got = row.read(design);
  EXPECT_EQ(got.gradient.start, row.expected.gradient.start);
  EXPECT_EQ(got.gradient.stop, row.expected.gradient.stop);
  ASSERT_EQ(got.gradient.stops.size(), row.expected.gradient.stops.size());
  for (qsizetype i = 0; i < got.gradient.stops.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "stop " << i);
    EXPECT_DOUBLE_EQ(got.gradient.stops[i].offset, row.expected.gradient.stops[i].offset);
    EXPECT_EQ(got.gradient.stops[i].argb, row.expected.gradient.stops[i].argb);
  }
  EXPECT_EQ(got.border, row.expected.border);
}

namespace designed = testsupport::designed;
const QPointF kTopEdge{0.5, 0}, kBottomEdge{0.5, 1};

INSTANTIATE_TEST_SUITE_P(
    Tables, DesignedData,
    ::testing::Values(
        DesignCase{"RectangleKub",
                   [](Design& d) {
                     return Designed{d.catalogue.RectangleKub->gradient(), {}};
                   },
                   {{designed::kubPage, {0, 0}, {0, 1}}, {}}},
        DesignCase{"RectangleZir",
                   [](Design& d) {
                     return Designed{d.catalogue.RectangleZir->gradient(), {}};
                   },
                   {{designed::zirPage, kBottomEdge, kTopEdge}, {}}},
        DesignCase{"RectanglePex",
                   [](Design& d) {
                     return Designed{d.catalogue.RectanglePex->gradient(), {}};
                   },
                   {{designed::pexPage, {0, 0.5}, {1, 0.5}}, {}}},
        // The banner as laid out, before any product line changes it.
        DesignCase{"Banner",
                   [](Design& d) {
                     return Designed{d.window.Banner->gradient(), {}};
                   },
                   {{designed::banner, kBottomEdge, kTopEdge}, {}}},
        DesignCase{"CornerButtonKubStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonKubStyle1"); },
                   {{designed::kubButton, kTopEdge, kBottomEdge}, designed::kubButtonBorder}},
        DesignCase{"CornerButtonZIRStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonZIRStyle1"); },
                   {{designed::zirButton, kBottomEdge, kTopEdge}, designed::zirButtonBorder}},
        DesignCase{"CornerButtonPexStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonPexStyle1"); },
                   {{designed::pexButton, kTopEdge, kBottomEdge}, designed::pexButtonBorder}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace branding
