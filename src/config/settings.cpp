// The settings record and its built-in defaults. Reading skv.ini fills it.
#include "config/settings.h"

std::int32_t lift_ceiling;
std::int32_t weak_layer_height;
std::uint32_t duration_min;
std::uint32_t duration_span;
std::int16_t lean_factor;
std::int16_t sink_setting;
float sink_rate;
std::int32_t scenery_lift_enabled;
float inversion_strength;
std::int32_t inversion_half_thickness;
std::int32_t inversion_altitude;
std::int16_t cheat_keys_option;
std::int16_t program_mode;
std::int16_t topo_scan;

void reset_settings() {
    lift_ceiling = 0;
    weak_layer_height = 305;
    duration_min = 15;
    duration_span = 10;
    lean_factor = 70;
    sink_setting = 1;
    sink_rate = 0.0f;
    scenery_lift_enabled = 0;
    inversion_strength = 0.0f;
    inversion_half_thickness = 0;
    inversion_altitude = 0;
    cheat_keys_option = 2;
    program_mode = 0;
    topo_scan = 0;
}

namespace {
// The defaults are in force from program start.
const bool defaults_set = (reset_settings(), true);
}

// The file itself is not read yet: the built-in defaults fly.
void read_settings() {}
