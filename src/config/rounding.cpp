#include "config/rounding.h"

std::int32_t truncate_toward_zero(double x) { return static_cast<std::int32_t>(x); }

std::int32_t round_half_away(double x) {
    std::int32_t whole = truncate_toward_zero(x);
    float fraction = static_cast<float>(x - whole);
    if (fraction >= 0.5f) return whole + 1;
    if (fraction <= -0.5f) return whole - 1;
    return whole;
}
