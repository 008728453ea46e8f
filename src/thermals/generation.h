// Filling the active thermal slots in single-player flying, sizing the
// house thermals, and following the simulator's cloud layer.
#pragma once

#include <cstdint>

enum placement : std::int16_t {
    renew = 0,    // a random place in the field, life starting now
    ahead = 1,    // on the edge of the field ahead of the aircraft's track
    scatter = 2,  // anywhere in the field but not on the aircraft, part-way through its life
};

// mean_track's answers of 6.3 or more are codes, not tracks.
constexpr float track_history_too_short = 7.0f;
constexpr float track_not_steady = 8.0f;
constexpr float speed_not_steady = 9.0f;

void generate_thermal(int slot, placement mode);

// What a thermal of this radius gets of the base strength: 1.33 times for
// the narrowest, 0.89 times for the widest.
double strength_factor(float radius);

// Distance from the aircraft for a renewed thermal in `slot`, miles.
float placement_distance(int slot);

// The aircraft's mean track in radians (0 <= track < 2 pi), or a code.
float mean_track();

// Sizes the house thermals and gives them a strength for the time of day.
void init_house_thermals(float factor);

// Lowers lift_ceiling to the simulator's cloud layer, or raises it to a
// cumulus layer.
void ceiling_from_clouds();

// Renews every slot whose life is over.
void renew_expired();

// Scatters anew every slot born after `now` (the clock went back).
void renew_after_clock_jump(std::uint32_t now);
