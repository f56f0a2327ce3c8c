// Bounds on the lengths layout computes from document values, so that sums
// over rows and columns and conversions of percentages cannot overflow.
#pragma once

#include <cstdint>

// Lengths from the document are bounded to this many pixels before they
// are summed: far beyond any page, far below what an int holds.
inline constexpr int LAYOUT_MAX_LENGTH = 1 << 22;

constexpr int clamp_length(int64_t v) {
  return static_cast<int>(v < -LAYOUT_MAX_LENGTH ? -LAYOUT_MAX_LENGTH : v > LAYOUT_MAX_LENGTH ? LAYOUT_MAX_LENGTH : v);
}

// A size taken from the document: none is negative (a negative border,
// spacing or width means none at all) and none exceeds the bound.
constexpr int document_length(int64_t v) {
  return static_cast<int>(v < 0 ? 0 : v > LAYOUT_MAX_LENGTH ? LAYOUT_MAX_LENGTH : v);
}

// a + b for lengths already bounded, itself kept within the bound, for sums
// whose number of terms the document decides (a line of many pictures).
constexpr int add_lengths(int a, int b) {
  return clamp_length(int64_t{a} + b);
}

// trunc(base x fraction), bounded like any other length (a NaN gives 0).
inline int fraction_of(int64_t base, double fraction) {
  double v = static_cast<double>(base) * fraction;
  if (!(v > -LAYOUT_MAX_LENGTH)) return v != v ? 0 : -LAYOUT_MAX_LENGTH;
  if (v > LAYOUT_MAX_LENGTH) return LAYOUT_MAX_LENGTH;
  return static_cast<int>(v);
}
