#include "thermals/random.h"

#include <cmath>

namespace {
std::uint32_t random_state = 1;
}

void seed_random(std::uint32_t seed) { random_state = seed; }

std::int32_t random15() {
    random_state = random_state * 214013u + 2531011u;
    return static_cast<std::int32_t>((random_state >> 16) & 0x7FFF);
}

float rand01() { return static_cast<float>(random15()) / 32767.0f; }

float shaped_random(float floor) {
    float threshold = -1.0f;
    float candidate = 0.0f;
    float u = rand01();
    while (u > threshold) {
        candidate = u;
        threshold = floor + (std::sin(candidate * 6.28f - 1.57f) + 1.0f) * 0.5f * (1.0f - floor);
        u = rand01();
    }
    return candidate;
}
