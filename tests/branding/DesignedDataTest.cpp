// Every designed value of the product lines' looks, as the layouts store it, against the design
// tables: the background gradients of the catalogue, the banner of the main window and the
// three button styles, with all their stops, start and stop points and border colours. A typo
// in a .ui file fails here.
#include "app/UpdateFrm.h"
#include "branding/EstiloComponentesUpdater.h"
#include "branding/FilledRectangle.h"
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

const QPointF kTopEdge{0.5, 0}, kBottomEdge{0.5, 1};

INSTANTIATE_TEST_SUITE_P(
    Tables, DesignedData,
    ::testing::Values(
        DesignCase{"RectangleKub",
                   [](Design& d) {
                     return Designed{d.catalogue.RectangleKub->gradient(), {}};
                   },
                   {{{{0, 0xFFE8ECEDu}, {1, 0xFFA0A0A0u}}, {0, 0}, {0, 1}}, {}}},
        DesignCase{"RectangleZir",
                   [](Design& d) {
                     return Designed{d.catalogue.RectangleZir->gradient(), {}};
                   },
                   {{{{0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}}, kBottomEdge, kTopEdge}, {}}},
        DesignCase{"RectanglePex",
                   [](Design& d) {
                     return Designed{d.catalogue.RectanglePex->gradient(), {}};
                   },
                   {{{{0, 0xFFD1D3D4u},
                      {0.4223602, 0xFFF8F8F9u},
                      {0.4627329, 0xFFFFFFFFu},
                      {0.5217391, 0xFFFFFFFFu},
                      {0.5434783, 0xFFF9F9F9u},
                      {0.5527951, 0xFFF9F9F9u},
                      {1, 0xFFD1D3D4u}},
                     {0, 0.5},
                     {1, 0.5}},
                    {}}},
        // The banner as laid out, before any product line changes it.
        DesignCase{"Banner",
                   [](Design& d) {
                     return Designed{d.window.Banner->gradient(), {}};
                   },
                   {{{{0.8229814, 0xFF000000u}, {1, 0xFFFFFFFFu}}, kBottomEdge, kTopEdge}, {}}},
        DesignCase{"CornerButtonKubStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonKubStyle1"); },
                   {{{{0, 0xFFF4F4F4u}, {0, 0xFFFAD293u}, {0.3757764, 0xFFFBBE00u}},
                     kTopEdge,
                     kBottomEdge},
                    0xFFBFBFBFu}},
        DesignCase{"CornerButtonZIRStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonZIRStyle1"); },
                   {{{{0, 0xFF009C80u}, {0.7267081, 0xFF009C80u}, {0.7701864, 0xFF66C4B3u}},
                     kBottomEdge,
                     kTopEdge},
                    0xFFBFBFBFu}},
        DesignCase{"CornerButtonPexStyle1",
                   [](Design& d) { return buttonStyle(d, "CornerButtonPexStyle1"); },
                   {{{{0.1583851, 0xFF89D495u}, {0.1645963, 0xFF73CA81u}, {1, 0xFF37B34Au}},
                     kTopEdge,
                     kBottomEdge},
                    0xFFC1C1C1u}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace branding
