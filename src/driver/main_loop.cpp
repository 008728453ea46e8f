// The main loop: each pass lets the hot keys act, runs the thermal pass
// (which keeps control while the aircraft is inside a thermal), writes
// widespread sink, re-leans the columns on a change of height, and drives
// the housekeeping cycle from a 10-second tick of the elapsed-time counter.
#include "driver/main_loop.h"

#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/session.h"
#include "driver/vertical_air.h"
#include "multiplayer/multi_file.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/drift.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/lift.h"
#include "thermals/publication.h"
#include "thermals/thermal_state.h"

#include <cstdlib>

namespace {

struct loop_state {
    double last_tick = 0.0;       // elapsed seconds at the last 10-second tick
    int tick_step = 0;            // the housekeeping step the next tick runs
    std::uint32_t tick_clock = 0; // sim clock last taken as reference for a jump
    std::int32_t last_minute = 0; // hour x 60 + minute at the last minute change (multi-player)
};

double read_elapsed_seconds(double previous) {
    double elapsed = previous;
    link_read(off_elapsed_seconds.offset, off_elapsed_seconds.bytes, &elapsed, &link_result);
    link_process(&link_result);
    return elapsed;
}

void start_loop(loop_state& s) {
    signed char time_of_day[3] = {};
    link_read(off_elapsed_seconds.offset, off_elapsed_seconds.bytes, &s.last_tick, &link_result);
    link_read(off_time_of_day.offset, off_time_of_day.bytes, time_of_day, &link_result);
    link_process(&link_result);
    s.tick_clock = static_cast<std::uint32_t>(time_of_day[0] * 3600 + time_of_day[1] * 60 + time_of_day[2]);
    s.last_minute = time_of_day[0] * 60 + time_of_day[1];
    s.tick_step = 0;
}

// Away from a house thermal its strength follows the time of day.
void refresh_house_thermals() {
    for (int j = 0; j < house_count; ++j) {
        house_thermal& h = house_thermals[j];
        if (miles_from_aircraft(h.lat_here, h.lon_here) > 1.0)
            h.strength = static_cast<float>(time_of_day_factor() * thermal_strength * strength_factor(h.radius));
        lean_house(j);
    }
}

void run_tick_step(int step) {
    bool single_player = program_mode == 0;
    switch (step) {
    case 1: wind_check(); shift_track_fixes(); break;
    case 3: if (single_player) renew_expired(); break;
    case 4: shift_track_fixes(); break;
    case 5: if (single_player) refresh_house_thermals(); break;
    default: break;
    }
}

void ten_second_tick(loop_state& s) {
    double now = read_elapsed_seconds(s.last_tick);
    if (!(now - s.last_tick > 10.0)) return;
    std::uint32_t c = sim_clock_seconds();
    if (std::llabs(static_cast<long long>(s.tick_clock) - static_cast<long long>(c)) > 10) {
        if (s.tick_clock > c && program_mode == 0) renew_after_clock_jump(c);
        s.tick_clock = c;
    }
    run_tick_step(s.tick_step);
    publication_due();
    s.tick_step = s.tick_step == 5 ? 0 : s.tick_step + 1;
    s.last_tick = now;
}

void minute_change(loop_state& s) {
    std::uint32_t seconds = 0;
    std::int32_t minute = s.last_minute;
    read_time_of_day(&seconds, &minute);
    if (minute == s.last_minute) return;
    if (minute < s.last_minute) multi_file_pos = 0;
    load_multiplayer_thermals(time_of_day_factor());
    s.last_minute = minute;
}

}  // namespace

void shift_track_fixes() {
    if (sim_clock_seconds() - track_fix_1.time <= 10) return;
    track_fix_2 = track_fix_1;
    track_fix_1.latitude = aircraft_latitude;
    track_fix_1.longitude = aircraft_longitude;
    track_fix_1.time = sim_clock_seconds();
}

double weak_layer_factor() {
    if (weak_layer_height == 0) return 1.0;
    std::int16_t ground = 0;
    link_read(off_ground_elevation.offset, off_ground_elevation.bytes, &ground, &link_result);
    link_process(&link_result);
    std::int64_t height = metres_between(aircraft_altitude, ground);
    if (height < weak_layer_height) return static_cast<double>(height) / weak_layer_height;
    return 1.0;
}

void main_loop() {
    loop_state s;
    start_loop(s);
    while (running == 1) {
        poll_hot_keys();
        thermal_pass();
        // After the quit gesture the ridge lift written last stays: no sink
        // after it. A session ended by a lost position read still leaves
        // the sink in the simulator, not the lift of a thermal.
        if (sink_setting != 0 && quit_confirmed == 0) write_vertical_air_speed(weak_layer_factor() * sink_rate, 0);
        if (std::llabs(metres_between(aircraft_altitude, lean_altitude)) > 30) {
            lean_every_column();
            lean_altitude = aircraft_altitude;
        }
        ten_second_tick(s);
        if (program_mode == 1) minute_change(s);
        queue_thermal_publication(last_sim_clock_seconds());
    }
}
