// The aircraft state as the rest of the program sees it, read from the
// simulator's offsets.
#pragma once

#include <cstdint>

extern double aircraft_latitude;       // radians, north positive
extern double aircraft_longitude;      // radians, east positive
extern std::int32_t aircraft_altitude; // whole metres above sea level

constexpr double latitude_units_per_radian = 6367314.0;
constexpr double longitude_units_per_radian = 683565300.0;

// A coordinate in the simulator's two-word format, in its units: the high
// word is the whole number of units, the low word the fraction times 2^32,
// added when the high word is 1 or more and subtracted otherwise.
double position_units(std::uint32_t low_word, std::int32_t high_word);

// Reads latitude, longitude and altitude in two batches. A first batch that
// ends with link result 12 means the simulator has gone: `running` is
// cleared. A failed batch keeps the previous values.
void read_aircraft_position();

// The simulator's local time of day in seconds since midnight (0..86399);
// the previous value when the read fails.
std::uint32_t sim_clock_seconds();

// The time of day the last sim_clock_seconds read, without reading.
std::uint32_t last_sim_clock_seconds();

// The simulator's local time of day read once: seconds since midnight and
// hour x 60 + minute. Both keep their values when the read fails.
void read_time_of_day(std::uint32_t* seconds, std::int32_t* minute);
