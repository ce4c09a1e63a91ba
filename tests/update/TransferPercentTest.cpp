#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "update/TransferPercent.h"

namespace {

using update::transferPercent;

TEST(TransferPercent, BorderlineCasesRoundAsExtendedPrecisionDoes) {
  struct Row {
    std::int64_t count, expected;
    std::int32_t percent;
  };
  constexpr std::int64_t kBig = std::numeric_limits<std::int64_t>::max();
  const Row rows[] = {
      // Exact halves go to the even neighbour.
      {1, 8, 12},
      {3, 8, 38},
      {5, 8, 62},
      {7, 8, 88},
      {1, 200, 0},
      {3, 200, 2},
      // The quotient's rounding decides these.
      {59, 200, 29},
      {109, 200, 54},
      {199, 200, 100},
      {23, 40, 58},  // 57 in double precision
      {0, 40, 0},
      {40, 40, 100},
      {1, 3, 33},
      {2, 3, 67},
      {kBig, kBig, 100},
      {kBig / 2, kBig, 50},
      {1, kBig, 0},
      {kBig, 1, std::numeric_limits<std::int32_t>::max()},  // saturates
      {2000, 1000, 200},
      // Outside the precondition.
      {-1, 8, 0},
      {1, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.count) + " of " + std::to_string(row.expected));
    EXPECT_EQ(transferPercent(row.count, row.expected), row.percent);
  }
}

#if LDBL_MANT_DIG == 64
// Where long double is the x87 format, the integer code must agree with the hardware on
// every pair: every count of small lengths, and random pairs of every magnitude.
std::int32_t x87Percent(std::int64_t count, std::int64_t expected) {
  const volatile long double quotient =
      static_cast<long double>(count) / static_cast<long double>(expected);
  const volatile long double product = quotient * 100.0L;
  return static_cast<std::int32_t>(std::nearbyint(product));
}

TEST(TransferPercent, AgreesWithX87ExtendedPrecision) {
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  for (std::int64_t expected = 1; expected <= 400; ++expected)
    for (std::int64_t count = 0; count <= expected; ++count)
      ASSERT_EQ(transferPercent(count, expected), x87Percent(count, expected))
          << count << " of " << expected;

  std::mt19937_64 random(20240611);
  for (int i = 0; i < 300000; ++i) {
    const int bits = 1 + static_cast<int>(random() % 62);
    const auto expected = static_cast<std::int64_t>(random() >> (64 - bits)) + 1;
    const auto count =
        static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(expected + 1));
    ASSERT_EQ(transferPercent(count, expected), x87Percent(count, expected))
        << count << " of " << expected;
  }
}
#endif

}  // namespace
