// Random numbers of the thermal model. One generator of our own with 15-bit
// results, so that one seed gives one sequence on every system.
#pragma once

#include <cstdint>

void seed_random(std::uint32_t seed);

// The generator's next raw value, 0..32767.
std::int32_t random15();

// random15() / 32767: 0 and 1 are both possible.
float rand01();

// A draw in [0, 1] favouring the middle: a chained acceptance test in which
// the draw that fails becomes the next candidate. `floor` is the least chance
// of keeping a candidate at the ends. The floor is single precision: the
// plain numbers passed for it are rounded into a float on the way in.
float shaped_random(double floor_given);

// The same chain with another threshold: kind 1 favours large values, any
// other kind small ones (a candidate near 0 is always kept, one near 1 with
// the chance `floor`).
float skewed_random(int kind, float floor);
