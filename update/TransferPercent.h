// The whole-number percentage of a transfer, as the progress bar shows it.
#pragma once

#include <cstdint>

namespace update {

// Percentage of `count` bytes against `expected` bytes, computed exactly as extended precision
// (a 64-bit significand) would: the quotient rounded to nearest, times 100 rounded to nearest,
// then rounded to a whole number with an exact half going to the even neighbour. So 23 of 40
// gives 58 (53-bit doubles give 57), 1 of 8 gives 12 and 3 of 8 gives 38. Done in integers so
// the result is the same on every platform, whatever its long double is.
// Precondition: 0 <= count, 0 < expected; otherwise 0. Results above INT32_MAX saturate.
std::int32_t transferPercent(std::int64_t count, std::int64_t expected);

}  // namespace update
