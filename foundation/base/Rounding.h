#pragma once
// The one place where products and quotients become integers: computed in long double (64-bit
// mantissa on x86) and rounded to the nearest integer, ties to even.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <stdexcept>

// Nearest integer, ties to even, under the default rounding mode.
inline long double RoundHalfEven(long double value) {
  return std::nearbyint(value);
}

// A value that does not fit (or is not a number) is a failure of the caller's step, never a
// silently wrapped figure.
inline int64_t RoundToInt64(long double value) {
  const long double r = RoundHalfEven(value);
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L)) {
    throw std::range_error("value out of 64-bit range");
  }
  return static_cast<int64_t>(r);
}

// Bytes as whole megabytes (of 1024 × 1024 bytes), rounded as above.
inline long double RoundedMegabytes(long double bytes) {
  return RoundHalfEven(bytes / 1024.0L / 1024.0L);
}

inline int32_t RoundToInt32(long double value) {
  const long double r = RoundHalfEven(value);
  if (!(r >= -2147483648.0L && r <= 2147483647.0L)) {
    throw std::range_error("value out of 32-bit range");
  }
  return static_cast<int32_t>(r);
}
