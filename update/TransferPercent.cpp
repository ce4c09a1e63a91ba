#include "update/TransferPercent.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace update {

namespace {

#if !defined(__SIZEOF_INT128__)
#error "transferPercent needs a 128-bit integer type (GCC or Clang on a 64-bit target)"
#endif
// GCC and Clang offer 128-bit integers on 64-bit targets; __extension__ keeps -Wpedantic quiet.
__extension__ typedef unsigned __int128 u128;

// A binary floating-point value significand * 2^exponent with a 64-bit significand whose top
// bit is set (or 0), as the x87 extended format holds it.
struct Extended {
  std::uint64_t significand = 0;
  int exponent = 0;
};

int bitLength(u128 v) {
  const auto high = static_cast<std::uint64_t>(v >> 64);
  return high ? 128 - std::countl_zero(high) : 64 - std::countl_zero(static_cast<std::uint64_t>(v));
}

// Rounds value * 2^exponent to 64 significant bits, to nearest with ties to even. `inexact`
// says that the true value lies strictly above `value` (nonzero bits below it were cut off);
// callers pass at least one bit beyond the 64 kept whenever inexact is set.
Extended roundTo64(u128 value, int exponent, bool inexact) {
  if (value == 0) return {};
  const int bits = bitLength(value);
  if (bits <= 64) {
    const int shift = 64 - bits;
    return {static_cast<std::uint64_t>(value) << shift, exponent - shift};
  }
  const int drop = bits - 64;
  const u128 half = u128{1} << (drop - 1);
  const u128 rest = value & ((u128{1} << drop) - 1);
  auto significand = static_cast<std::uint64_t>(value >> drop);
  const bool up = rest > half || (rest == half && (inexact || (significand & 1)));
  exponent += drop;
  if (up && ++significand == 0) {  // carried out of the top: 2^64 is 2^63 * 2
    significand = std::uint64_t{1} << 63;
    ++exponent;
  }
  return {significand, exponent};
}

// count / expected, both positive, rounded to 64 significant bits.
Extended quotient(std::uint64_t count, std::uint64_t expected) {
  // Normalise so that the integer quotient has 65 or 66 bits: one guard bit at least, and the
  // remainder tells whether anything lies below it.
  const int a = std::countl_zero(count);         // count' has its top bit at 63
  const int b = std::countl_zero(expected) - 1;  // expected' at 62 (expected < 2^63)
  const u128 numerator = u128{count << a} << 64;
  const u128 divisor = expected << b;
  return roundTo64(numerator / divisor, b - a - 64, numerator % divisor != 0);
}

// Rounds to a whole number, ties to even; saturates at INT32_MAX.
std::int32_t roundToWhole(Extended x) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  if (x.significand == 0) return 0;
  if (x.exponent >= 0)
    return x.exponent >= 31
               ? kMax
               : static_cast<std::int32_t>(std::min<u128>(u128{x.significand} << x.exponent, kMax));
  const int shift = -x.exponent;
  if (shift > 65) return 0;  // below 2^64 / 2^66: less than a half
  const u128 value = x.significand;
  const u128 whole = value >> shift;
  const u128 rest = value & ((u128{1} << shift) - 1);
  const u128 half = u128{1} << (shift - 1);
  const u128 rounded = whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
  return rounded > kMax ? kMax : static_cast<std::int32_t>(rounded);
}

}  // namespace

std::int32_t transferPercent(std::int64_t count, std::int64_t expected) {
  if (count <= 0 || expected <= 0) return 0;
  const Extended q =
      quotient(static_cast<std::uint64_t>(count), static_cast<std::uint64_t>(expected));
  const Extended product = roundTo64(u128{q.significand} * 100, q.exponent, false);
  return roundToWhole(product);
}

}  // namespace update
