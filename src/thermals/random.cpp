#include "thermals/random.h"

#include <cmath>

namespace {
std::uint32_t random_state = 1;
}  // namespace

void seed_random(std::uint32_t seed) { random_state = seed; }

std::int32_t random15() {
    random_state = random_state * 214013u + 2531011u;
    return static_cast<std::int32_t>((random_state >> 16) & 0x7FFF);
}

float rand01() { return static_cast<float>(random15() / 32767.0); }

namespace {

// Draws until a draw falls at or below the threshold set by the candidate
// before it; the draw that fails becomes the next candidate.
template <typename threshold_of>
float chained_draw(threshold_of threshold_for) {
    double threshold = -1;
    float candidate = 0.0f;
    float u = rand01();
    while (u > threshold) {
        candidate = u;
        threshold = threshold_for(candidate);
        u = rand01();
    }
    return candidate;
}

}  // namespace

float shaped_random(double floor_given) {
    float floor = static_cast<float>(floor_given);
    return chained_draw([floor](float c) { return floor + (std::sin(c * 6.28 - 1.57) + 1) * 0.5 * (1 - floor); });
}

float skewed_random(int kind, float floor) {
    if (kind == 1) return chained_draw([floor](float c) { return floor + (1 - floor) * c; });
    return chained_draw([floor](float c) { return 1 - (1 - floor) * c; });
}
