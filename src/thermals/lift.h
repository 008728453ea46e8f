// Lift in the thermal: whether the aircraft is inside one, and while it is,
// the in-thermal loop that writes its lift and keeps the housekeeping going.
#pragma once

#include <cstdint>

#include "thermals/thermal_state.h"

// One pass over the five active thermals and the house thermals; stays in
// an in-thermal loop while the aircraft is inside one.
void thermal_pass();

// The lift of an overlapping thermal (kind 1 an active slot, else a house
// slot) without life factor, or 99.0 when the aircraft is outside it.
float second_thermal_lift(std::int16_t kind, std::int16_t slot);

// The lift, at most 1.333 times the base strength for the time of day.
double cap_lift(double lift);

// 1 when the aircraft is inside the thermal: kind 0 a house slot, 1 an
// active slot; any other kind gives 0.
int inside_thermal(std::int16_t kind, std::int16_t slot);

// The 0..1 ramp over the first and last 120 s of a thermal's life (negative
// once the life is over).
float life_factor(const active_thermal& t, std::uint32_t now);
