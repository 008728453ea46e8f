// Rounding helpers shared by the whole program.
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
