#include "thermals/geometry.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/thermal_state.h"

#include <cmath>

double distance_miles(double lat1, double lon1, double lat2, double lon2) {
    double north = (lat2 - lat1) * earth_radius_miles;
    double east = std::cos(lat1) * (lon2 - lon1) * earth_radius_miles;
    return std::sqrt(north * north + east * east);
}

float miles_from_aircraft(double lat, double lon) {
    return static_cast<float>(distance_miles(aircraft_latitude, aircraft_longitude, lat, lon));
}

namespace {

// The magnetic variation in whole degrees, truncated toward zero; 0 when it
// cannot be read.
std::int32_t magnetic_variation_degrees() {
    std::int16_t raw = 0;
    link_read(off_magnetic_variation.offset, off_magnetic_variation.bytes, &raw, &link_result);
    link_process(&link_result);
    return angle_degrees(raw);
}

}  // namespace

std::int32_t bearing_degrees(double lat1, double lon1, double lat2, double lon2) {
    auto k = static_cast<float>((std::cos(lat1) + std::cos(lat2)) * earth_radius_miles * 0.5);
    double north = (lat2 - lat1) * earth_radius_miles;
    double east = (lon2 - lon1) * k;
    double a = std::atan2(east, north) * 57.296;
    if (a < 0) a += 360;
    a -= magnetic_variation_degrees();
    if (a < 0)
        a += 360;
    else if (a > 360)
        a -= 360;
    return round_half_away(a);
}

double north_offset(float bearing, float distance) {
    return std::cos(bearing) * distance / earth_radius_miles;
}

double east_offset(float bearing, float distance) {
    return std::sin(bearing) * distance / (std::cos(aircraft_latitude) * earth_radius_miles);
}

float time_of_day_factor() {
    auto t = static_cast<std::uint16_t>(sim_clock_seconds() / 60);
    if (t > 780 && t < 960) return 1.0f;
    if (t > 600 && t <= 780) return static_cast<float>(t - 600) / 180.0f;
    if (t >= 960 && t < 1080) return 1.0f - static_cast<float>(t - 960) / 120.0f;
    return 0.0f;
}

namespace {

float automatic_sink(float typical_radius) {
    return -0.672f * thermal_strength * typical_radius * typical_radius / (field_radius * field_radius);
}

}  // namespace

void derive_thermal_parameters() {
    if (program_mode != 1) {
        float k = radius_shape;
        float typical_radius = ((2 * k + 1) - std::sqrt((2 * k + 1) * (2 * k + 1) - 6 * k * k)) * radius_span / (2 * k) + radius_min;
        if (sink_setting == 1) sink_rate = automatic_sink(typical_radius);
        if (sink_setting > 0) {
            float before = thermal_strength;
            // The automatic sink converges in a few steps for any valid
            // settings; the bound keeps odd ones from looping on.
            for (int step = 0; step < 1000 && before - 0.05f > thermal_strength + sink_rate; ++step) {
                thermal_strength -= sink_rate;
                if (sink_setting == 1) sink_rate = automatic_sink(typical_radius);
            }
        }
    }
    if (scenery_lift_enabled == 1 && sink_rate == 0.0f) sink_rate = 0.0001f;
}
