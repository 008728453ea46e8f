// The settings record: every value of skv.ini after validation, in the
// program's units. Each holds its built-in default until the settings are
// read.
#pragma once

#include <cstdint>
#include <istream>

// The program's conversion factors, used throughout.
constexpr double degrees_to_radians = 0.0174533;
constexpr double feet_to_metres = 0.3048;

extern std::int32_t lift_ceiling;              // m above sea level; 0 = decided at start-up
extern std::int32_t weak_layer_height;         // m above ground
extern std::uint32_t duration_min;             // minutes
extern std::uint32_t duration_span;            // minutes above duration_min
extern std::int16_t lean_factor;               // hundredths
extern std::int16_t sink_setting;              // 0 none, 1 automatic, 2..200 fixed, feet per minute
extern float sink_rate;                        // m/s, zero or negative
extern std::int32_t scenery_lift_enabled;      // 0/1
extern float inversion_strength;               // fraction; 0 = no inversion layer
extern std::int32_t inversion_half_thickness;  // m
extern std::int32_t inversion_altitude;        // m below the ceiling, then the layer's centre
extern std::int16_t cheat_keys_option;         // finder hot keys: 0 off, 1, 2
extern std::int16_t program_mode;              // 0 single-player, 1 multi-player, 2 create the multi-player file
extern std::int16_t topo_scan;                 // 1 = run the terrain scan and exit
// Extension: 1 = publish the thermals for companion programs. Asked for in a
// line after the tool block; off without it.
extern std::int16_t publish_thermals;

// Puts every setting back to its built-in default.
void reset_settings();

// Reads skv.ini from the working folder into the record, with a message box
// for every faulty value; in the tool modes it then runs the tools.
void read_settings();

// The same from any stream (the settings as skv.ini would hold them).
void read_settings_from(std::istream& in);

// The tools the settings start. Tests put their own here.
struct settings_tool_calls {
    void (*create_multiplayer_file)(std::uint32_t start, std::uint32_t stop, int thermal_source, float north,
                                    float south, float west, float east, float coverage, float north_south_miles,
                                    float east_west_miles);
    void (*import_slope_data)();
    void (*make_topo)(float north, float south, float west, float east, int keep_elevation_file,
                      float settle_seconds);
};
extern settings_tool_calls settings_tools;
