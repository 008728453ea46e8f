#include "thermals/thermal_state.h"

float thermal_strength = 0.0f;
std::int32_t lean_altitude = 0;

std::int16_t wind_knots = 0;
std::int16_t wind_dir_raw = 0;
std::int16_t wind_speed = 0;
std::int16_t wind_dir = 0;
