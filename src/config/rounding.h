// Rounding helpers shared by the whole program.
#pragma once

#include <cstdint>

// The integer part of x (2.7 -> 2, -2.7 -> -2).
std::int32_t truncate_toward_zero(double x);

// Nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3). The
// fractional part is compared in single precision.
std::int32_t round_half_away(double x);
