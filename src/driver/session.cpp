// Program entry and session start.
#include "driver/session.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/main_loop.h"
#include "driver/hot_keys.h"
#include "driver/messages.h"
#include "driver/vertical_air.h"
#include "multiplayer/multi_file.h"
#include "platform/platform.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "terrain/slope_import.h"
#include "thermals/drift.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"


std::int32_t running = 1;
track_fix track_fix_1{};
track_fix track_fix_2{};

namespace {

constexpr std::int32_t highest_cloud_layer = 6096;

// A start-up wait ends when the simulator's window has gone. A batch that
// only timed out (a simulator busy loading scenery while paused) is lost:
// the wait reads again.
bool simulator_gone() {
    if (!link_server_gone()) return false;
    running = 0;
    return true;
}

std::int16_t read_pause_indicator(std::int16_t previous) {
    std::int16_t paused = previous;
    link_read(off_pause.offset, off_pause.bytes, &paused, &link_result);
    link_process(&link_result);
    return paused;
}

// Lets the simulator run `seconds` of its clock. Ends too when the clock
// passes midnight (it then reads less than where it started).
void let_simulator_run(std::uint32_t seconds) {
    std::uint32_t start = sim_clock_seconds();
    if (simulator_gone()) return;
    for (;;) {
        std::uint32_t now = sim_clock_seconds();
        if (simulator_gone() || now >= start + seconds || now < start) return;
    }
}

void read_wind() {
    std::int16_t wind_layer_top = 0;
    read_simulator_wind(&wind_knots, &wind_dir_raw, &wind_layer_top);
    wind_speed = static_cast<std::int16_t>(round_half_away(wind_knots * 0.5141));
    wind_dir = static_cast<std::int16_t>(angle_degrees(wind_dir_raw));
    if (wind_layer_top <= aircraft_altitude) return;

    std::int16_t variation = read_magnetic_variation();
    wind_dir = static_cast<std::int16_t>(wind_dir + angle_degrees(variation));
    wind_dir_raw = static_cast<std::int16_t>(wind_dir_raw + variation);
    if (wind_dir > 180) wind_dir = static_cast<std::int16_t>(wind_dir - 360);
}

void read_weather_and_decide_ceiling() {
    std::int16_t cloud_altitude = 0, cloud_type = 0, ground = 0;
    link_read(off_cloud_altitude.offset, off_cloud_altitude.bytes, &cloud_altitude, &link_result);
    link_read(off_cloud_type.offset, off_cloud_type.bytes, &cloud_type, &link_result);
    link_read(off_ground_elevation.offset, off_ground_elevation.bytes, &ground, &link_result);
    link_process(&link_result);
    lift_ceiling = decide_lift_ceiling(cloud_altitude, cloud_type, ground);
}

// From here on inversion_altitude is the altitude of the layer's centre.
void place_inversion_layer() {
    if (inversion_strength > 0)
        inversion_altitude = lift_ceiling - inversion_altitude - inversion_half_thickness;
}

void fix_track_at_start() {
    read_aircraft_position();
    std::uint32_t now = sim_clock_seconds();
    track_fix_1 = {aircraft_latitude, aircraft_longitude, now};
    track_fix_2 = track_fix_1;
}

// Start-up from the cloud layer to the start-up text.
void prepare_flying() {
    read_weather_and_decide_ceiling();
    place_inversion_layer();
    if (program_mode == 1) read_multiplayer_header();
    derive_thermal_parameters();
    if (program_mode == 0)
        for (int slot = 0; slot < active_slots; ++slot) generate_thermal(slot, scatter);
    else
        load_multiplayer_thermals(time_of_day_factor());
    if (house_count > 0) {
        init_house_thermals(time_of_day_factor());
        for (int j = 0; j < house_count; ++j) lean_house(j);
    }
    register_hot_keys();
    show_sim_message("Skarvo 2004 - version 3.2.  Initialization complete.", 10);
}

}  // namespace

void shut_down() {
    show_sim_message("Skarvo 2004 is no longer running.", 5);
    link_close();
}

bool open_simulator_link() {
    if (link_open(0, &link_result)) return true;
    show_box("Skarvo: Failed to open link to FSUIPC.", "%s", link_result_text(link_result));
    running = 0;
    return false;
}

void wait_for_unpause() {
    std::int16_t paused = read_pause_indicator(0);
    if (paused == 1) {
        show_sim_message("Please un-pause Flight Simulator for initialization to complete.", 5);
        do paused = read_pause_indicator(paused);
        while (paused == 1 && !simulator_gone());
        if (simulator_gone()) return;
        let_simulator_run(3);
        if (simulator_gone()) return;
    }
    read_wind();
}

std::int32_t decide_lift_ceiling(std::int16_t cloud_altitude, std::int16_t cloud_type, std::int16_t ground) {
    const std::int32_t a = cloud_altitude, g = ground;
    auto above_ground = [g] { return truncate_toward_zero(shaped_random(0.1) * 2048 + static_cast<float>(g + 914)); };
    if (a <= 0 || a > highest_cloud_layer) return lift_ceiling == 0 ? above_ground() : lift_ceiling;
    if (cloud_type == 9) return a;
    if (lift_ceiling == 0) {
        if (a >= g + 2962) return above_ground();
        float r = shaped_random(0.1);
        return truncate_toward_zero(r * static_cast<float>((a - g) / 2) + static_cast<float>((a - g) / 4 + g));
    }
    return a < lift_ceiling ? a : lift_ceiling;
}

// Start-up of a flying session, in its order.
void initialise_session() {
    import_slope_data();
    if (program_mode == 2) {
        derive_thermal_parameters();
        return;
    }
    if (open_simulator_link()) {
        scenery_lift_time = sim_clock_seconds();
        read_aircraft_position();
        lean_altitude = aircraft_altitude;
        wait_for_unpause();
        // A first position read that only timed out has ended the session
        // already, but start-up goes on while the simulator is there. Once
        // its window has gone, the rest would only fail (and warn of too
        // few hot-key slots).
        if (!link_server_gone()) prepare_flying();
    }
    fix_track_at_start();
}

int run_program() {
    seed_random(static_cast<std::uint32_t>(calendar_seconds()));
    thermal_strength = static_cast<float>(shaped_random(0.1) * 2.54 + 2.03);
    read_settings();
    if (program_mode == 1 && !multi_file_present()) {
        show_box("Error opening file 'skv-multi.dat'...",
                 "SKV is in multi-player mode, but the multi-player data file cannot be found.\n\nExiting...");
        return 0;
    }
    if (program_mode == 2 || topo_scan == 1) return 0;
    initialise_session();
    main_loop();
    shut_down();
    return 0;
}

void reset_session() {
    running = 1;
    track_fix_1 = track_fix_2 = {};
    message_text[0] = '\0';
    reset_hot_keys();
    reset_vertical_air();
    reset_multiplayer();
}
