// State the thermal model shares with the rest of the program.
#pragma once

#include <cstdint>

// One of the five thermals around the aircraft.
struct active_thermal {
    std::int32_t ref_altitude;  // m MSL, altitude of the reference point
    std::int32_t top;           // m MSL; lift only below it
    std::uint32_t lifetime;     // s
    std::int32_t multi_id;      // identifier in the multi-player file
    double lat_ref;             // rad, the column at ref_altitude
    double lat_here;            // rad, the column at the aircraft's altitude
    double lon_ref;
    double lon_here;
    float strength;             // m/s, strength parameter
    float radius;               // miles
    std::uint32_t birth_time;   // s of day; may lie before the slot was filled
};

constexpr int active_slots = 5;
extern active_thermal active_thermals[active_slots];

// Life left at `now`: birth + lifetime - now on the low 16 bits, signed.
std::int16_t remaining_life(const active_thermal& t, std::uint32_t now);

// A fixed thermal source named in the settings. It never expires.
struct house_thermal {
    std::int32_t ground_elevation;  // m, of the source
    std::int32_t rebase_altitude;   // m MSL of the last re-base after a wind change; 0 = none
    std::int32_t top;               // m MSL
    double ground_lat;              // rad, the source
    double rebase_lat;              // rad, the column at rebase_altitude
    double lat_here;                // rad, the column at the aircraft's altitude
    double ground_lon;
    double rebase_lon;
    double lon_here;
    char name[30];                  // one word, for the finder's texts
    float strength;                 // m/s, strength parameter
    float radius;                   // miles
};

constexpr int house_slots = 3;
extern house_thermal house_thermals[house_slots];
extern std::int32_t house_count;  // slots in use, filled in order

extern float thermal_strength;  // m/s, base strength of new thermals
extern float radius_min;        // miles, smallest radius of a new thermal
extern float radius_span;       // miles, range of radii above radius_min
extern float field_radius;      // miles, circle around the aircraft holding the active thermals
extern float radius_shape;      // shape of the radius distribution

extern std::int32_t lean_altitude;  // m, aircraft altitude at the last lean of the columns

// The wind at the last accepted change.
extern std::int16_t wind_knots;     // knots
extern std::int16_t wind_dir_raw;   // true direction, 65536 = 360 degrees, signed
extern std::int16_t wind_speed;     // m/s
extern std::int16_t wind_dir;       // degrees the wind comes from, -180..180
extern std::int16_t prev_wind_speed;  // m/s before the last accepted change
extern std::int16_t prev_wind_dir;    // degrees before the last accepted change

extern std::int16_t magnetic_variation_raw;  // last read, 65536 = 360 degrees, signed

// Puts the thermal model's state back to its value at program start.
void reset_thermal_state();
