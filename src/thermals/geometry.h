// Distances, bearings and offsets on a sphere of radius 3956 statute miles,
// the time-of-day factor, and the thermal parameters derived at start-up.
#pragma once

#include <cstdint>

constexpr double earth_radius_miles = 3956.0;

// Whole degrees of a signed 16-bit angle (65536 = 360), truncated toward
// zero: how the simulator's wind direction and magnetic variation are read.
constexpr std::int32_t angle_degrees(std::int16_t raw) { return raw * 360 / 65536; }

// The height from `lower` up to `upper`, whole metres, in 64 bits: the
// simulator may send any 32-bit altitude, and no difference of two may
// overflow. Within 32 bits the results are the same.
constexpr std::int64_t metres_between(std::int32_t upper, std::int32_t lower) {
    return static_cast<std::int64_t>(upper) - lower;
}

// `altitude` moved up by `metres` (down when negative), held within 32 bits.
std::int32_t altitude_moved(std::int32_t altitude, std::int64_t metres);

// Flat-earth distance in miles; the cosine is taken at the first point,
// which every caller makes the aircraft.
double distance_miles(double lat1, double lon1, double lat2, double lon2);

// The distance from the aircraft, kept as a float as every caller keeps it.
float miles_from_aircraft(double lat, double lon);

// Reads the magnetic variation (65536 = 360 degrees) into
// magnetic_variation_raw and returns it; a failed read keeps the value read
// before.
std::int16_t read_magnetic_variation();

// Magnetic bearing from the first point to the second, whole degrees 0..360
// (360 can be returned). Reads the magnetic variation.
std::int32_t bearing_degrees(double lat1, double lon1, double lat2, double lon2);

// What moving a point by `distance` miles at `bearing` radians (clockwise
// from true north) adds to its latitude and longitude. The longitude step
// always uses the aircraft's latitude.
double north_offset(float bearing, float distance);
double east_offset(float bearing, float distance);

// 0 before 10:00, rising to 1 at 13:00, 1 until 16:00, falling to 0 at
// 18:00. Reads the simulator's clock.
float time_of_day_factor();

// Raises thermal_strength to make up for widespread sink and, with the
// automatic sink, computes sink_rate. Run once at start-up.
void derive_thermal_parameters();
