// Flying against the stand-in simulator in-process: the lift a pilot feels
// inside and outside thermals, the vertical air output, the main loop's
// housekeeping, the hot keys and the quit gesture, and the finder's texts.
#include "in_process_sim.h"
#include "program_folder.h"
#include "settings_support.h"

#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "driver/vertical_air.h"
#include "multiplayer/create_multi_file.h"
#include "recorder.h"
#include "simlink/aircraft.h"
#include "thermals/drift.h"
#include "thermals/finder.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/lift.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct recorded {
    double session_seconds;
    std::string detail;
};

class flight_test : public in_process_sim {
protected:
    void SetUp() override {
        in_process_sim::SetUp();
        start_clean_settings();
        sink_setting = 0;
        weak_layer_height = 0;
        thermal_strength = 2.0f;
        seed_random(99);
    }
    void TearDown() override {
        in_process_sim::TearDown();
        sim::close_record();
        stop_catching();
        reset_settings();
        reset_thermal_state();
        reset_session();
    }

    // Opens the link to the scenario, recording it, and reads the position.
    void fly(const std::string& scenario) {
        ASSERT_TRUE(sim::open_record((ipc_dir + "/record.tsv").c_str()));
        open_link("time 14:00:00\nposition 47.0 11.0\naltitude 1000\n" + scenario);
        read_aircraft_position();
    }

    std::vector<recorded> record_of(const std::string& kind) {
        std::vector<recorded> found;
        std::istringstream in(read_file(ipc_dir + "/record.tsv"));
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string seconds, clock, k, detail;
            std::getline(fields, seconds, '\t');
            std::getline(fields, clock, '\t');
            std::getline(fields, k, '\t');
            std::getline(fields, detail);
            if (k == kind) found.push_back({std::atof(seconds.c_str()), detail});
        }
        return found;
    }
    std::vector<double> writes() {
        std::vector<double> values;
        for (const auto& r : record_of("vas")) values.push_back(std::atof(r.detail.c_str()));
        return values;
    }
    // The value written `seconds` after the first write.
    double written_after(double seconds) {
        auto all = record_of("vas");
        for (const auto& r : all)
            if (r.session_seconds >= all.front().session_seconds + seconds) return std::atof(r.detail.c_str());
        return -999;
    }
    std::vector<std::string> texts() {
        std::vector<std::string> shown;
        for (const auto& r : record_of("text")) shown.push_back(r.detail.substr(r.detail.find(": ") + 2));
        return shown;
    }

    // A thermal `north_miles` north of the aircraft, at full life.
    active_thermal& place_active(int slot, double north_miles, float strength, float radius, std::int32_t top) {
        active_thermal& t = active_thermals[slot];
        t = active_thermal{};
        t.lat_here = t.lat_ref = aircraft_latitude + north_miles / 3956.0;
        t.lon_here = t.lon_ref = aircraft_longitude;
        t.strength = strength;
        t.radius = radius;
        t.top = top;
        t.ref_altitude = top - 143;
        t.lifetime = 3000;
        t.birth_time = sim_clock_seconds() - 1000;
        return t;
    }
    // A house thermal standing `north_miles` north of the aircraft, from its
    // ground up.
    house_thermal& place_house(int slot, double north_miles) {
        house_thermal& h = house_thermals[slot];
        h.ground_lat = h.lat_here = aircraft_latitude + north_miles / 3956.0;
        h.ground_lon = h.lon_here = aircraft_longitude;
        h.strength = 2.0f;
        h.radius = 0.5f;
        h.top = 3000;
        return h;
    }
    // The aircraft in slot 0's thermal; the others a mile or more away.
    active_thermal& inside_one(float strength, double off_centre_miles = 0.0, std::int32_t top = 3000) {
        for (int slot = 1; slot < active_slots; ++slot) place_active(slot, 1.0 + 0.4 * slot, 1.0f, 0.2f, 3000);
        return place_active(0, off_centre_miles, strength, 0.5f, top);
    }
};

// ---- lift inside a thermal -------------------------------------------------

struct lift_case {
    const char* what;
    double off_centre_miles;  // of a radius of 0.5
    std::int32_t below_top;   // metres
    std::int32_t born_ago;    // seconds; -1 for a full life
    std::int32_t life_left;   // seconds; -1 for a full life
    double expected;          // m/s, for strength 1
};

class lift_profile_test : public flight_test, public ::testing::WithParamInterface<lift_case> {};

TEST_P(lift_profile_test, steady_lift_after_the_ramp) {
    const lift_case& c = GetParam();
    fly("at 12 move 46.9 11.0\n");
    active_thermal& t = inside_one(1.0f, c.off_centre_miles, 1000 + c.below_top);
    std::uint32_t now = sim_clock_seconds();
    if (c.born_ago >= 0) t.birth_time = now - static_cast<std::uint32_t>(c.born_ago);
    if (c.life_left != -1) t.birth_time = now + static_cast<std::uint32_t>(c.life_left) - t.lifetime;
    thermal_pass();
    EXPECT_NEAR(written_after(6.0), c.expected, 2e-4) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    flight, lift_profile_test,
    ::testing::Values(lift_case{"centre", 0.0, 2000, -1, -1, 0.9045},
                      lift_case{"sink ring at 0.8333 R", 0.41665, 2000, -1, -1, -0.0955},
                      lift_case{"143 m below the top", 0.0, 143, -1, -1, 0.9045 * 1.001},
                      lift_case{"1 m below the top", 0.0, 1, -1, -1, 0.9045 * 0.007},
                      lift_case{"born 60 s ago", 0.0, 2000, 60, -1, 0.9045 * 0.5},
                      lift_case{"30 s before its end", 0.0, 2000, -1, 30, 0.9045 * 0.25},
                      lift_case{"life over, not yet renewed", 0.0, 2000, -1, -10, -0.9045 * 10 / 120}),
    [](const ::testing::TestParamInfo<lift_case>& p) { return "case_" + std::to_string(p.index); });

std::vector<double> values_written;
void note_vertical_air(std::uint32_t offset, std::uint32_t n) {
    double v = 0;
    if (offset != 0x3478 || n != sizeof v) return;
    sim::read_offsets(offset, n, reinterpret_cast<unsigned char*>(&v));
    values_written.push_back(v);
}

// The lift is (cos(E d) + 0.809) W F1 with W = 0.5 S and E = 3.77 / R in
// double, to the last bit; an overlapping thermal's is
// 0.5 S (cos(3.77 d / R) + 0.809), in that order.
TEST_F(flight_test, the_lift_in_the_arithmetic_of_its_formula) {
    fly("at 12 move 46.9 11.0\n");
    const active_thermal& t = inside_one(1.3f, 0.1);
    float d = miles_from_aircraft(t.lat_here, t.lon_here);
    double expected = (std::cos(3.77 / t.radius * d) + 0.809) * (0.5 * t.strength) * 1.0f;
    values_written.clear();
    sim::client_write_hook = note_vertical_air;
    thermal_pass();
    sim::client_write_hook = nullptr;
    EXPECT_NE(std::find(values_written.begin(), values_written.end(), expected), values_written.end());

    const active_thermal& other = place_active(3, 0.2, 1.7f, 0.7f, 3000);
    float d3 = miles_from_aircraft(other.lat_here, other.lon_here);
    EXPECT_EQ(second_thermal_lift(1, 3), static_cast<float>(0.5 * other.strength * (std::cos(3.77 * d3 / other.radius) + 0.809)));
}

TEST_F(flight_test, inside_the_lift_ramps_by_a_tenth_and_outside_it_is_written_at_once) {
    fly("at 15 move 46.9 11.0\n");
    inside_one(3.0f);
    thermal_pass();
    std::vector<double> v = writes();
    ASSERT_GT(v.size(), 30u);
    for (int i = 0; i < 27; ++i) EXPECT_NEAR(v[i], 0.1 * (i + 1), 1e-4) << "write " << i;
    EXPECT_NEAR(v[28], 0.9045 * 3, 2e-4);
    EXPECT_EQ(v.back(), 0.0);  // out of the thermal: the sink of the moment, at once
    EXPECT_LT(aircraft_latitude, 46.95 * 0.0175);
}

TEST_F(flight_test, widespread_sink_weakens_in_the_weak_layer_inside_and_after_the_thermal) {
    sink_setting = 150;
    sink_rate = -150 / 197.0f;
    weak_layer_height = 1000;
    fly("ground 500\nat 12 move 46.9 11.0\n");
    inside_one(1.0f);
    thermal_pass();
    EXPECT_NEAR(written_after(6.0), 0.5 * (0.9045 + sink_rate), 2e-4);
    EXPECT_NEAR(writes().back(), 0.5 * sink_rate, 1e-4);
}

TEST_F(flight_test, an_overlapping_thermal_adds_its_lift_up_to_the_cap) {
    fly("at 25 move 46.9 11.0\n");
    inside_one(2.0f);
    place_active(3, 0.0, 2.0f, 0.5f, 3000);  // engaged as the second thermal at the fourth candidate step
    thermal_pass();
    EXPECT_NEAR(written_after(5.5), 1.809, 2e-4);
    EXPECT_NEAR(written_after(20.0), 1.333 * 2.0, 2e-4);  // 2 x 1.809 capped at 1.333 x thermal_strength
}

TEST_F(flight_test, without_an_overlapping_thermal_strong_lift_is_not_capped) {
    fly("at 25 move 46.9 11.0\n");
    inside_one(4.0f);
    thermal_pass();
    EXPECT_NEAR(written_after(20.0), 0.9045 * 4, 2e-4);
}

// ---- the vertical air output ---------------------------------------------

TEST_F(flight_test, the_inversion_layer_weakens_the_lift_towards_its_centre) {
    inversion_strength = 0.3f;
    inversion_half_thickness = 150;
    inversion_altitude = 2000;
    for (auto [altitude, factor] : {std::pair{2000, 0.7}, {2075, 0.85}, {1925, 0.85}, {2150, 1.0}, {1700, 1.0}}) {
        aircraft_altitude = altitude;
        EXPECT_NEAR(inversion_factor(), factor, 1e-6) << altitude;
    }
}

TEST_F(flight_test, scenery_lift_skips_the_simulators_echo_for_two_seconds_and_is_not_rate_limited) {
    scenery_lift_enabled = 1;
    fly("clock lock-step 0.25\n");
    scenery_lift_time = sim_clock_seconds();
    for (int i = 0; i < 40; ++i) write_vertical_air_speed(1.5, 1);
    auto all = record_of("vas");
    ASSERT_FALSE(all.empty());
    EXPECT_GE(all.front().session_seconds, 2.5);  // the simulator showed our 0.0 until then
    EXPECT_EQ(std::atof(all.front().detail.c_str()), 1.5);  // in a thermal, but not ramped

    link_close();
    stop_server();
    sim::close_record();
    fly("clock lock-step 0.25\nscenery-lift 0.5\n");
    write_vertical_air_speed(1.0, 1);
    EXPECT_NEAR(last_vertical_air_speed, 1.5, 1e-9);  // the simulator's own 0.5 is added at once
}

// ---- the main loop's housekeeping ------------------------------------------

class renewal_test : public flight_test, public ::testing::WithParamInterface<int> {};

TEST_P(renewal_test, expired_thermals_are_renewed_at_the_fourth_tick_only) {
    int quit_at = GetParam();
    fly("at " + std::to_string(quit_at) + " key backspace\nat " + std::to_string(quit_at + 1) + " key f12\n");
    register_hot_keys();
    std::uint32_t expired_birth = sim_clock_seconds() - 3100;
    for (int slot = 0; slot < active_slots; ++slot) place_active(slot, 1.0 + 0.3 * slot, 1.0f, 0.2f, 3000).birth_time = expired_birth;
    main_loop();
    int renewed = 0;
    for (const auto& t : active_thermals) renewed += t.birth_time != expired_birth;
    EXPECT_EQ(renewed, quit_at < 40 ? 0 : active_slots);
    EXPECT_EQ(running, 0);
}

INSTANTIATE_TEST_SUITE_P(flight, renewal_test, ::testing::Values(33, 45));

// ---- hot keys and quitting ---------------------------------------------------

TEST_F(flight_test, with_three_free_slots_only_quit_confirm_and_w_are_registered) {
    fly("hotkey-slots 3\n");
    register_hot_keys();
    EXPECT_EQ(hotkey_count, 3);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Skarvo 2004: WARNING");
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    EXPECT_TRUE(sim::press_hot_key(87));
    EXPECT_FALSE(sim::press_hot_key(69));
}

// With widespread sink the pass that sees the quit writes nothing after it.
TEST_F(flight_test, a_stray_f12_a_missed_window_and_then_the_quit_gesture) {
    fly("at 3 key f12\nat 6 key backspace\nat 12.5 key f12\nat 20 key backspace\nat 21 key f12\n");
    sink_setting = 150;
    sink_rate = -0.761f;
    register_hot_keys();
    main_loop();
    EXPECT_EQ(running, 0);
    EXPECT_EQ(texts(), (std::vector<std::string>{"To quit Skarvo 2004, press TAB-F12 now.", "Skarvo 2004 is still running.",
                                                 "To quit Skarvo 2004, press TAB-F12 now."}));
    EXPECT_EQ(writes().back(), 0.0);  // the ridge lift of the moment: none here
    unsigned char slots[4 * hotkey_table_size];
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    sim::read_offsets(0x3210, sizeof slots, slots);
    for (unsigned char b : slots) EXPECT_EQ(b, 0);
}

bool flying_a_while() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return sim::world.session_seconds > 10;
}

// A simulator that stalls for 20 s (nine sends of one hot-key poll time out)
// loses that batch only; the session flies on and the quit gesture ends it.
TEST_F(flight_test, a_stalled_hot_key_poll_is_lost_and_the_session_flies_on) {
    fly("at 30 key backspace\nat 31 key f12\n");
    register_hot_keys();
    stall_read(0x32FE, 1, send_attempts, flying_a_while);
    main_loop();
    EXPECT_EQ(stalled_read.sends_left, 0);
    EXPECT_EQ(texts(), std::vector<std::string>{"To quit Skarvo 2004, press TAB-F12 now."});
    EXPECT_EQ(running, 0);
}

bool flying_a_while_in_the_thermal() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return sim::world.session_seconds > 10 && sim::world.vertical_air_speed > 1.0;
}

// A position read lost to a 20 s stall inside a thermal ends the session;
// what stays in the simulator is the widespread sink, not the thermal's lift.
TEST_F(flight_test, a_session_ended_by_a_stalled_position_read_leaves_the_sink) {
    fly("");
    sink_setting = 150;
    sink_rate = -0.761f;
    register_hot_keys();
    inside_one(2.5f);
    stall_read(0x0560, 0, send_attempts, flying_a_while_in_the_thermal);
    main_loop();
    EXPECT_EQ(stalled_read.sends_left, 0);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(quit_confirmed, 0);
    EXPECT_NEAR(writes().back(), -0.761, 1e-4);
}

// Whatever altitude the simulator sends, the arithmetic stays defined (the
// sanitizers would end the test) and the quit gesture still ends the session.
TEST_F(flight_test, altitudes_at_the_ends_of_32_bits_keep_the_arithmetic_sound) {
    sink_setting = 150;
    sink_rate = -0.761f;
    weak_layer_height = 1000;
    inversion_strength = 0.3f;
    inversion_half_thickness = 150;
    inversion_altitude = 2000;
    lift_ceiling = 2000;
    fly("wind 270 20\nat 8 move 46.9 11.0\nat 30 key backspace\nat 31 key f12\n");
    register_hot_keys();
    wait_for_unpause();
    for (double altitude : {-2147483648.0, 2147483647.0}) {
        {
            std::lock_guard<std::mutex> lock(sim::world_mutex);
            sim::world.altitude_m = altitude;
            sim::world.wind_from_deg = sim::world.wind_from_deg + 90;
        }
        read_aircraft_position();
        for (int slot = 0; slot < active_slots; ++slot) generate_thermal(slot, scatter);
        wind_check();
        inside_one(2.0f);
        thermal_pass();
        for (const auto& t : active_thermals) EXPECT_TRUE(std::isfinite(t.lat_here) && std::isfinite(t.lon_here));
    }
    main_loop();
    EXPECT_EQ(running, 0);
    EXPECT_EQ(quit_confirmed, 1);
}

// ---- the thermal finder ------------------------------------------------------

// The pilot asks for slot 4, flies where the text says and climbs there.
TEST_F(flight_test, a_thermal_found_with_the_finder_gives_a_climb) {
    fly("climb on\nclouds 2500 9\nat 60 move 46.0 11.0\n");
    lift_ceiling = 2500;
    for (int slot = 0; slot < active_slots; ++slot) generate_thermal(slot, scatter);
    thermal_finder(0, 4);
    double miles = 0;
    int bearing = -1;
    ASSERT_EQ(std::sscanf(sim::world.last_text.c_str(), "thermal is %lf mile(s) away, bearing %d", &miles, &bearing), 2)
        << sim::world.last_text;
    double start_altitude;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        double b = bearing * 3.14159265358979 / 180;
        sim::world.latitude_deg += miles * std::cos(b) / 3956 * 57.29578;
        sim::world.longitude_deg += miles * std::sin(b) / (3956 * std::cos(47.0 / 57.29578)) * 57.29578;
        start_altitude = sim::world.altitude_m;
    }
    thermal_pass();
    double strongest = 0;
    for (double v : writes()) strongest = std::max(strongest, v);
    EXPECT_GT(strongest, 0.9045 * 0.89 * 2.0 * 0.5);  // at least half the weakest centre
    EXPECT_GT(sim::world.altitude_m, start_altitude + 20);
}

TEST_F(flight_test, finder_texts_at_their_edges) {
    fly("");
    place_active(4, 2.96, 2.0f, 0.5f, 3000);
    thermal_finder(0, 4);
    EXPECT_EQ(sim::world.last_text, "thermal is 3.0 mile(s) away, bearing 0");
    place_active(4, 9.99, 2.0f, 0.5f, 3000);
    thermal_finder(0, 4);
    EXPECT_EQ(sim::world.last_text, "thermal is 10.0 mile(s) away, bearing 0");
    place_active(3, 10.0, 2.0f, 0.5f, 3000);
    thermal_finder(0, 3);
    EXPECT_EQ(sim::world.last_text, "I don't see it...");

    cheat_keys_option = 1;
    place_active(4, 0.25, 2.0f, 0.5f, 900);
    thermal_finder(0, 4);
    EXPECT_EQ(sim::world.last_text, "Don't expect much thermal lift this high.");
    place_active(4, 0.25, 2.0f, 0.5f, 3000);
    thermal_finder(0, 4);
    EXPECT_EQ(sim::world.last_text, "You're in it.  Now find the core.");

    // Within 0.67 of the radius, compared in double: radius 0.400000066,
    // distance 0.268000036 miles (a float product would put it outside).
    const active_thermal& close = place_active(4, 0.268000036, 2.0f, 0.400000066f, 3000);
    ASSERT_EQ(miles_from_aircraft(close.lat_here, close.lon_here), 0.268000036f);
    thermal_finder(0, 4);
    EXPECT_EQ(sim::world.last_text, "You're in it.  Now find the core.");

    place_active(3, 1.0, 0.19f, 0.5f, 3000);
    aircraft_latitude = 0.0;  // left as it is: a thermal too weak to see needs no position
    thermal_finder(0, 3);
    EXPECT_EQ(sim::world.last_text, "Don't expect much lift at this time of day.");
    EXPECT_EQ(aircraft_latitude, 0.0);
}

// Ground elevations at either end of what the settings accept lean their
// columns without overflowing, also for an aircraft below sea level.
TEST_F(flight_test, house_thermals_on_ground_of_any_height_lean_soundly) {
    read_settings_text(settings_with({{5, "Ground elevation-in-feet: 9999999999"}, {10, "Ground elevation-in-feet: -9999999999"}}));
    ASSERT_EQ(house_count, 2);
    fly("altitude -20\n");
    wind_speed = 10;
    wind_dir = -90;
    init_house_thermals(1.0f);
    for (int j = 0; j < house_count; ++j) lean_house(j);
    for (int j = 0; j < house_count; ++j) EXPECT_TRUE(std::isfinite(house_thermals[j].lat_here));
}

// A distance is kept as a float before it is compared: a house column
// 2.99999999 miles away is 3 miles away and is not re-based by a new wind.
TEST_F(flight_test, a_house_column_three_miles_away_in_single_precision_keeps_its_shape) {
    fly("wind 270 20\n");
    house_count = 1;
    place_house(0, 2.99999999);
    wind_check();
    EXPECT_EQ(house_thermals[0].rebase_altitude, 0);
}

TEST_F(flight_test, house_thermals_far_away_and_undefined) {
    fly("");
    house_count = 2;
    std::snprintf(place_house(1, 25.0).name, sizeof house_thermals[1].name, "Nordkette");
    thermal_finder(2, 1);
    EXPECT_EQ(sim::world.last_text, "Nordkette house thermal is 25.0 mile(s) away, bearing 0");
    thermal_finder(3, 2);
    EXPECT_EQ(sim::world.last_text, "this house thermal not defined in 'skv.ini'");
    cheat_keys_option = 0;
    thermal_finder(1, 0);
    EXPECT_EQ(sim::world.last_text, "'Cheat keys' are disabled in skv.ini.");
}

// ---- a long flight -----------------------------------------------------------

#if !defined(_WIN32)
// Two days in lock-step, a second of the simulator's time per exchange,
// across two midnights: the session flies on until the quit gesture ends
// it, and nothing is reported. Mode 1 flies from a day's file built here.
// (Linux, under the sanitizers: some 200,000 exchanges in all.)
class long_flight_test : public program_folder_test, public ::testing::WithParamInterface<int> {};

TEST_P(long_flight_test, two_days_end_on_the_quit_gesture_with_nothing_reported) {
    seed_random(48);
    if (GetParam() == 1) {
        program_mode = 2;
        lift_ceiling = 2000;
        const float degree = 0.0174533f;
        create_multiplayer_file(10 * 3600, 18 * 3600, 2, 47.0f * degree + 5.0f / 3956, 47.0f * degree - 5.0f / 3956,
                                11.0f * degree, 11.2f * degree, 14.615f, 10, 10);
        ASSERT_EQ(boxes.size(), 1u);  // "Multi-player data file built."
        boxes.clear();
        reset_settings();
        program_mode = 1;
    }
    const int two_days = 2 * 86400;
    load_scenario("time 12:00:00\nposition 47.0 11.1\naltitude 1500\nclock lock-step 1\nwind 270 10\n"
                  "clouds 2000 9\nmotion 3 90\nat " +
                  std::to_string(two_days) + " key backspace\nat " + std::to_string(two_days + 1) + " key f12\n");
    start_server();
    initialise_session();
    main_loop();
    shut_down();
    EXPECT_EQ(quit_confirmed, 1);
    EXPECT_EQ(running, 0);
    EXPECT_TRUE(boxes.empty()) << boxes.front().caption << ": " << boxes.front().text;
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    EXPECT_GE(sim::world.session_seconds, two_days);
    EXPECT_EQ(sim::world.last_text, "Skarvo 2004 is no longer running.");
}

INSTANTIATE_TEST_SUITE_P(flight, long_flight_test, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& p) { return p.param == 0 ? "single_player" : "multi_player"; });
#endif

}  // namespace
