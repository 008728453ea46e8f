// State the thermal model shares with the rest of the program.
#pragma once

#include <cstdint>

extern float thermal_strength;      // m/s, base strength of new thermals
extern std::int32_t lean_altitude;  // m, aircraft altitude at the last lean of the columns

// The wind at the last accepted change.
extern std::int16_t wind_knots;     // knots
extern std::int16_t wind_dir_raw;   // true direction, 65536 = 360 degrees, signed
extern std::int16_t wind_speed;     // m/s
extern std::int16_t wind_dir;       // degrees the wind comes from, -180..180
