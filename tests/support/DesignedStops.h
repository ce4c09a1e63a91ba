// The product lines' designed gradient stops and button borders, as the design tables give
// them: the one copy that every test checking the looks compares with.
#pragma once

#include <QVector>
#include <cstdint>

#include "branding/Gradient.h"

namespace testsupport::designed {

using branding::GradientStop;

// The page's background fill of each product line; PEX's is also every other code's.
inline const QVector<GradientStop> kubPage{{0, 0xFFE8ECEDu}, {1, 0xFFA0A0A0u}};
inline const QVector<GradientStop> zirPage{{0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu}};
inline const QVector<GradientStop> pexPage{{0, 0xFFD1D3D4u},         {0.4223602, 0xFFF8F8F9u},
                                           {0.4627329, 0xFFFFFFFFu}, {0.5217391, 0xFFFFFFFFu},
                                           {0.5434783, 0xFFF9F9F9u}, {0.5527951, 0xFFF9F9F9u},
                                           {1, 0xFFD1D3D4u}};

// The banner as laid out, before a product line colours it.
inline const QVector<GradientStop> banner{{0.8229814, 0xFF000000u}, {1, 0xFFFFFFFFu}};

// The buttons' background of each product line's style, and its border.
inline const QVector<GradientStop> kubButton{
    {0, 0xFFF4F4F4u}, {0, 0xFFFAD293u}, {0.3757764, 0xFFFBBE00u}};
inline const QVector<GradientStop> zirButton{
    {0, 0xFF009C80u}, {0.7267081, 0xFF009C80u}, {0.7701864, 0xFF66C4B3u}};
inline const QVector<GradientStop> pexButton{
    {0.1583851, 0xFF89D495u}, {0.1645963, 0xFF73CA81u}, {1, 0xFF37B34Au}};
constexpr uint32_t kubButtonBorder = 0xFFBFBFBFu;
constexpr uint32_t zirButtonBorder = 0xFFBFBFBFu;
constexpr uint32_t pexButtonBorder = 0xFFC1C1C1u;

}  // namespace testsupport::designed
