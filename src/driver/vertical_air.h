// Every vertical air speed the program gives the simulator: the caller's
// lift shaped by the inversion layer, with ridge lift and (when enabled)
// the simulator's own scenery lift added, its changes limited inside
// thermals.
#pragma once

#include <cstdint>

extern double last_vertical_air_speed;   // m/s, the value last written
extern std::uint32_t scenery_lift_time;  // sim-clock seconds of the last write with scenery lift

// Writes the vertical air speed for `lift` (m/s, sink negative); inside a
// thermal (in_thermal 1) the change from the last write is limited.
void write_vertical_air_speed(double lift, std::int16_t in_thermal);

// 1 outside the inversion layer, 1 - inversion_strength at its centre.
double inversion_factor();

// The simulator's own vertical air, or 100.0 while it still shows the
// program's last write.
double scenery_lift();

// v moved at most 0.1 m/s away from the last value written.
double limit_rate(double v);

void reset_vertical_air();
