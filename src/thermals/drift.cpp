#include "thermals/drift.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/geometry.h"
#include "thermals/thermal_state.h"

#include <cstdlib>

namespace {

constexpr std::int32_t top_band_metres = 143;

// How fast the column rises against the sink; 0 leaves the column where it
// is (the formulas would divide by it).
double rise_rate(float strength) { return 0.9 * strength + sink_rate; }

// Lean in miles over `metres` of height in a wind of `speed` m/s.
double lean_miles(std::int64_t metres, std::int16_t speed, float strength) {
    std::int64_t metres_times_wind = metres * speed;
    return static_cast<double>(metres_times_wind) / rise_rate(strength) / (lean_factor * 16.09);
}

void move_from(double lat, double lon, float bearing, double miles, double* lat_out, double* lon_out) {
    *lat_out = lat + north_offset(bearing, static_cast<float>(miles));
    *lon_out = lon + east_offset(bearing, static_cast<float>(miles));
}

std::int32_t fresh_altitude() {
    std::int32_t altitude = aircraft_altitude;
    link_read(off_altitude.offset, off_altitude.bytes, &altitude, &link_result);
    link_process(&link_result);
    return altitude;
}

// Before a new wind applies, each column keeps its place at the aircraft's
// altitude and pivots there.
void rebase_active_columns() {
    for (auto& t : active_thermals) {
        if (t.strength <= 0) continue;
        std::int64_t h = metres_between(t.top, aircraft_altitude);
        if (h > top_band_metres) {
            double miles = reference_lean_miles(h - top_band_metres, t.strength);
            move_from(t.lat_here, t.lon_here, downwind_bearing(wind_dir), miles, &t.lat_ref, &t.lon_ref);
            t.ref_altitude = altitude_moved(t.top, -top_band_metres);
        } else {
            t.lat_ref = t.lat_here;
            t.lon_ref = t.lon_here;
            t.ref_altitude = aircraft_altitude;
        }
    }
}

void accept_wind(std::int16_t knots, std::int16_t raw) {
    wind_knots = knots;
    wind_dir_raw = raw;
    prev_wind_speed = wind_speed;
    prev_wind_dir = wind_dir;
    wind_speed = static_cast<std::int16_t>(round_half_away(knots * 0.5141));
    std::int32_t degrees = angle_degrees(raw);
    wind_dir = static_cast<std::int16_t>(degrees > 180 ? degrees - 360 : degrees);
}

void rebase_house_columns_nearby() {
    for (int j = 0; j < house_count; ++j) {
        house_thermal& h = house_thermals[j];
        if (miles_from_aircraft(h.lat_here, h.lon_here) >= 3.0) continue;
        h.rebase_lat = h.lat_here;
        h.rebase_lon = h.lon_here;
        h.rebase_altitude = aircraft_altitude;
    }
}

}  // namespace

float downwind_bearing(std::int16_t from_degrees) { return static_cast<float>((from_degrees + 180) * 3.14159 / 180); }

double reference_lean_miles(std::int64_t metres, float strength) {
    std::int64_t metres_times_wind = metres * wind_speed;
    float miles_times_rate = static_cast<float>(metres_times_wind) / strength;
    return miles_times_rate / (lean_factor * 14.48);
}

void read_simulator_wind(std::int16_t* knots, std::int16_t* raw_direction, std::int16_t* layer_top) {
    link_read(off_wind_speed.offset, off_wind_speed.bytes, knots, &link_result);
    link_read(off_wind_direction.offset, off_wind_direction.bytes, raw_direction, &link_result);
    link_read(off_wind_layer_top.offset, off_wind_layer_top.bytes, layer_top, &link_result);
    link_process(&link_result);
}

void wind_check() {
    std::int16_t knots = wind_knots, raw = wind_dir_raw, layer_top = 0;
    read_simulator_wind(&knots, &raw, &layer_top);
    if (layer_top > aircraft_altitude) {
        raw = static_cast<std::int16_t>(raw + read_magnetic_variation());
    }
    if (std::abs(knots - wind_knots) <= 2 && std::abs(raw - wind_dir_raw) < 1821) return;
    if (program_mode == 0) rebase_active_columns();
    accept_wind(knots, raw);
    rebase_house_columns_nearby();
    for (int j = 0; j < house_count; ++j) lean_house(j);
}

void lean_active(int slot) {
    active_thermal& t = active_thermals[slot];
    if (t.strength <= 0 || rise_rate(t.strength) == 0.0) return;
    auto h = static_cast<std::int16_t>(metres_between(t.top, aircraft_altitude) & 0xFFFF);
    float bearing = downwind_bearing(wind_dir);
    if (h > top_band_metres) {
        t.ref_altitude = altitude_moved(t.top, -top_band_metres);
        double miles = lean_miles(metres_between(aircraft_altitude, t.ref_altitude), wind_speed, t.strength);
        move_from(t.lat_ref, t.lon_ref, bearing, miles, &t.lat_here, &t.lon_here);
    } else if (h >= 1) {
        // Climbing through the band below the top pushes the column on.
        std::int64_t metres_times_wind = metres_between(aircraft_altitude, t.ref_altitude) * wind_speed;
        double miles = static_cast<double>(metres_times_wind) * 8.89 / (rise_rate(t.strength) * h * lean_factor);
        move_from(t.lat_ref, t.lon_ref, bearing, miles, &t.lat_here, &t.lon_here);
        t.lat_ref = t.lat_here;
        t.lon_ref = t.lon_here;
        t.ref_altitude = aircraft_altitude;
    }
}

void lean_active_multi(int slot) {
    active_thermal& t = active_thermals[slot];
    if (t.strength <= 0 || rise_rate(t.strength) == 0.0) return;
    double miles = lean_miles(metres_between(aircraft_altitude, t.ref_altitude), wind_speed, t.strength);
    move_from(t.lat_ref, t.lon_ref, downwind_bearing(wind_dir), miles, &t.lat_here, &t.lon_here);
}

void lean_house(int house) {
    house_thermal& h = house_thermals[house];
    if (h.strength <= 0 || rise_rate(h.strength) == 0.0) return;
    std::int32_t z = fresh_altitude();
    if (h.rebase_altitude == 0) {
        double miles = lean_miles(metres_between(z, h.ground_elevation), wind_speed, h.strength);
        move_from(h.ground_lat, h.ground_lon, downwind_bearing(wind_dir), miles, &h.lat_here, &h.lon_here);
    } else if (h.rebase_altitude >= z) {
        // Below the re-base the column keeps the shape of the previous wind.
        double miles = lean_miles(metres_between(z, h.ground_elevation), prev_wind_speed, h.strength);
        move_from(h.ground_lat, h.ground_lon, downwind_bearing(prev_wind_dir), miles, &h.lat_here, &h.lon_here);
        h.rebase_lat = h.lat_here;
        h.rebase_lon = h.lon_here;
        h.rebase_altitude = z;
    } else {
        double miles = lean_miles(metres_between(z, h.rebase_altitude), wind_speed, h.strength);
        move_from(h.rebase_lat, h.rebase_lon, downwind_bearing(wind_dir), miles, &h.lat_here, &h.lon_here);
    }
}

void lean_active_for_mode(int slot) {
    if (program_mode == 1)
        lean_active_multi(slot);
    else
        lean_active(slot);
}

void lean_every_column() {
    for (int slot = 0; slot < active_slots; ++slot) lean_active_for_mode(slot);
    for (int j = 0; j < house_count; ++j) lean_house(j);
}

void active_column_top(const active_thermal& t, double* lat, double* lon) {
    *lat = t.lat_here;
    *lon = t.lon_here;
    if (t.strength <= 0 || rise_rate(t.strength) == 0.0) return;
    double miles = lean_miles(metres_between(t.top, t.ref_altitude), wind_speed, t.strength);
    move_from(t.lat_ref, t.lon_ref, downwind_bearing(wind_dir), miles, lat, lon);
}

void house_column_top(const house_thermal& h, double* lat, double* lon) {
    *lat = h.lat_here;
    *lon = h.lon_here;
    if (h.strength <= 0 || rise_rate(h.strength) == 0.0) return;
    if (h.rebase_altitude == 0) {
        double miles = lean_miles(metres_between(h.top, h.ground_elevation), wind_speed, h.strength);
        move_from(h.ground_lat, h.ground_lon, downwind_bearing(wind_dir), miles, lat, lon);
    } else if (h.rebase_altitude >= h.top) {
        double miles = lean_miles(metres_between(h.top, h.ground_elevation), prev_wind_speed, h.strength);
        move_from(h.ground_lat, h.ground_lon, downwind_bearing(prev_wind_dir), miles, lat, lon);
    } else {
        double miles = lean_miles(metres_between(h.top, h.rebase_altitude), wind_speed, h.strength);
        move_from(h.rebase_lat, h.rebase_lon, downwind_bearing(wind_dir), miles, lat, lon);
    }
}
