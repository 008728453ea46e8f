#include "config/rounding.h"

#include <cmath>
#include <limits>

std::int32_t truncate_toward_zero(double x) {
    // Values beyond the 32-bit range (a huge number in a file) saturate
    // rather than overflow.
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(x)) return 0;
    if (x <= lowest) return std::numeric_limits<std::int32_t>::min();
    if (x >= highest) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(x);
}

std::int32_t round_half_away(double x) {
    std::int32_t whole = truncate_toward_zero(x);
    if (whole == std::numeric_limits<std::int32_t>::max() || whole == std::numeric_limits<std::int32_t>::min())
        return whole;
    float fraction = static_cast<float>(x - whole);
    if (fraction >= 0.5f) return whole + 1;
    if (fraction <= -0.5f) return whole - 1;
    return whole;
}

float snap_to_3_arcseconds(float degrees) {
    auto whole = static_cast<std::int16_t>(truncate_toward_zero(degrees));
    float in_degree = degrees - static_cast<float>(whole);
    auto minutes = static_cast<std::int16_t>(truncate_toward_zero(in_degree * 60.0));
    double rest = in_degree - minutes / 60.0;
    auto seconds = static_cast<std::int16_t>(3 * round_half_away(rest * 1200.0));
    return static_cast<float>(whole + minutes / 60.0 + seconds / 3600.0);
}
