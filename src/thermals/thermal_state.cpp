#include "thermals/thermal_state.h"

#include "thermals/publication.h"

active_thermal active_thermals[active_slots];
house_thermal house_thermals[house_slots];
std::int32_t house_count;
float thermal_strength;
float radius_min;
float radius_span;
float field_radius;
float radius_shape;
std::int32_t lean_altitude;
std::int16_t wind_knots;
std::int16_t wind_dir_raw;
std::int16_t wind_speed;
std::int16_t wind_dir;
std::int16_t prev_wind_speed;
std::int16_t prev_wind_dir;
std::int16_t magnetic_variation_raw;

std::int16_t remaining_life(const active_thermal& t, std::uint32_t now) {
    return static_cast<std::int16_t>((t.birth_time + t.lifetime - now) & 0xFFFF);
}

void reset_thermal_state() {
    for (auto& a : active_thermals) a = active_thermal{};
    for (auto& h : house_thermals) h = house_thermal{};
    house_count = 0;
    thermal_strength = 0.0f;
    radius_min = 0.3f;
    radius_span = 0.56f;
    field_radius = 3.3f;
    radius_shape = 0.5f;
    lean_altitude = 0;
    wind_knots = wind_dir_raw = wind_speed = wind_dir = prev_wind_speed = prev_wind_dir = 0;
    magnetic_variation_raw = 0;
    reset_thermal_publication();
}

namespace {
const bool initial_state_set = (reset_thermal_state(), true);
}  // namespace
