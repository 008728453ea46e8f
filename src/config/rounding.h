// Rounding helpers shared by the whole program.
//
// How the program computes: every formula is evaluated as C evaluates its
// written form, in its written order. A decimal number in a formula (0.01,
// 6.28318, 0.44) is a double, and so is the earth's radius of 3956 miles; a
// float meeting one is promoted, and a result is rounded to single precision
// only where it is stored in a float or where single precision is asked for.
// Floats with integers alone stay in single precision (L x 100, an integer
// times rand01), except that a whole number dividing to a real value is a
// double (-W / 197, M / 60). Constants are never folded together
// (x * 0.00001 * k is (x * 0.00001) * k). cos, sin, sqrt and asin are
// C's: a float argument is widened and the result is a double, except where
// a formula is asked for in single precision as a whole (the ridge lift).
// Files built here are exchanged between pilots and must come out the same
// everywhere.
#pragma once

#include <cstdint>

// The integer part of x (2.7 -> 2, -2.7 -> -2), held within 32 bits.
std::int32_t truncate_toward_zero(double x);

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3). The
// fractional part is compared in single precision.
std::int32_t round_half_away(double x);

// Decimal degrees moved to the nearest multiple of 3 arc-seconds within
// their minute, halves away from zero; 60 seconds give the next minute.
// Negative values snap symmetrically.
float snap_to_3_arcseconds(float degrees);
