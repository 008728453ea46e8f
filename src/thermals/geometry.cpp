#include "thermals/geometry.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <limits>

std::int32_t altitude_moved(std::int32_t altitude, std::int64_t metres) {
    std::int64_t moved = static_cast<std::int64_t>(altitude) + metres;
    if (moved < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (moved > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(moved);
}

double distance_miles(double lat1, double lon1, double lat2, double lon2) {
    double north = (lat2 - lat1) * earth_radius_miles;
    double east = std::cos(lat1) * (lon2 - lon1) * earth_radius_miles;
    return std::sqrt(north * north + east * east);
}

float miles_from_aircraft(double lat, double lon) {
    return static_cast<float>(distance_miles(aircraft_latitude, aircraft_longitude, lat, lon));
}

std::int16_t read_magnetic_variation() {
    link_read(off_magnetic_variation.offset, off_magnetic_variation.bytes, &magnetic_variation_raw, &link_result);
    link_process(&link_result);
    return magnetic_variation_raw;
}

std::int32_t bearing_degrees(double lat1, double lon1, double lat2, double lon2) {
    auto k = static_cast<float>((std::cos(lat1) + std::cos(lat2)) * earth_radius_miles * 0.5);
    double north = (lat2 - lat1) * earth_radius_miles;
    double east = (lon2 - lon1) * k;
    double a = std::atan2(east, north) * 57.296;
    if (a < 0) a += 360;
    a -= angle_degrees(read_magnetic_variation());
    if (a < 0)
        a += 360;
    else if (a > 360)
        a -= 360;
    return round_half_away(a);
}

double north_offset(float bearing, float distance) {
    return std::cos(static_cast<double>(bearing)) * distance / earth_radius_miles;
}

double east_offset(float bearing, float distance) {
    return std::sin(static_cast<double>(bearing)) * distance / (std::cos(aircraft_latitude) * earth_radius_miles);
}

float time_of_day_factor() {
    auto t = static_cast<std::uint16_t>(sim_clock_seconds() / 60);
    if (t > 780 && t < 960) return 1.0;
    if (t > 600 && t <= 780) return static_cast<float>((t - 600) / 180.0);
    if (t >= 960 && t < 1080) return static_cast<float>(1 - (t - 960) / 120.0);
    return 0.0;
}

namespace {

float automatic_sink(double radius) {
    return static_cast<float>(-0.672 * thermal_strength * radius * radius / (field_radius * field_radius));
}

// The radius the skewed draw gives most often.
double typical_radius() {
    float k = radius_shape;
    float under_root = (2 * k + 1) * (2 * k + 1) - 6 * k * k;
    return ((2 * k + 1) - std::sqrt(static_cast<double>(under_root))) * radius_span / (2 * k) + radius_min;
}

}  // namespace

void derive_thermal_parameters() {
    if (program_mode != 1) {
        double r = typical_radius();
        if (sink_setting == 1) sink_rate = automatic_sink(r);
        if (sink_setting > 0) {
            float before = thermal_strength;
            // The automatic sink converges in a few steps for any valid
            // settings; the bound keeps odd ones from looping on.
            for (int step = 0; step < 1000 && before - 0.05 > thermal_strength + sink_rate; ++step) {
                thermal_strength -= sink_rate;
                if (sink_setting == 1) sink_rate = automatic_sink(r);
            }
        }
    }
    if (scenery_lift_enabled == 1 && sink_rate == 0.0) sink_rate = static_cast<float>(0.0001);
}
