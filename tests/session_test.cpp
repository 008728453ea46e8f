// Session start against the stand-in simulator: the wind, the lift ceiling,
// the inversion layer and the waits.
#include "in_process_sim.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "driver/hot_keys.h"
#include "driver/messages.h"
#include "driver/session.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

namespace {

struct ceiling_case {
    std::int16_t cloud, type, ground;
    std::int32_t setting;
    std::int32_t low, high;  // the ceiling falls within [low, high]
};

class lift_ceiling_test : public ::testing::TestWithParam<ceiling_case> {};

TEST_P(lift_ceiling_test, within_its_range_for_many_draws) {
    const ceiling_case& c = GetParam();
    for (std::uint32_t seed = 1; seed < 200; ++seed) {
        seed_random(seed);
        lift_ceiling = c.setting;
        std::int32_t ceiling = decide_lift_ceiling(c.cloud, c.type, c.ground);
        EXPECT_GE(ceiling, c.low);
        EXPECT_LE(ceiling, c.high);
    }
    reset_settings();
}

INSTANTIATE_TEST_SUITE_P(
    cloud_layers, lift_ceiling_test,
    ::testing::Values(ceiling_case{1500, 9, 0, 2000, 1500, 1500},    // cumulus wins over the setting
                      ceiling_case{2500, 9, 0, 2000, 2500, 2500},
                      ceiling_case{1500, 3, 0, 2000, 1500, 1500},    // another type below the setting
                      ceiling_case{1500, 3, 0, 1000, 1000, 1000},    // ... above it
                      ceiling_case{0, 9, 200, 0, 1114, 3162},        // no layer: ground + 914 + up to 2048
                      ceiling_case{-5, 9, 200, 0, 1114, 3162},
                      ceiling_case{6097, 9, 200, 0, 1114, 3162},
                      ceiling_case{6097, 9, 200, 1800, 1800, 1800},  // no layer, setting kept
                      ceiling_case{6096, 9, 200, 1800, 6096, 6096},
                      ceiling_case{1000, 3, 200, 0, 400, 800},       // a quarter to three quarters up
                      ceiling_case{3162, 3, 200, 0, 1114, 3162}),    // layer too high above the ground
    [](const ::testing::TestParamInfo<ceiling_case>& p) { return "case_" + std::to_string(p.index); });

TEST(rounding, halves_go_away_from_zero) {
    EXPECT_EQ(round_half_away(2.5), 3);
    EXPECT_EQ(round_half_away(-2.5), -3);
    EXPECT_EQ(round_half_away(2.49), 2);
    EXPECT_EQ(round_half_away(-0.4), 0);
    EXPECT_EQ(truncate_toward_zero(2.7), 2);
    EXPECT_EQ(truncate_toward_zero(-2.7), -2);
    EXPECT_EQ(round_half_away(2147483647.7), 2147483647);  // saturates, never overflows
    EXPECT_EQ(round_half_away(3.05e9), 2147483647);
    EXPECT_EQ(round_half_away(-2147483648.7), -2147483647 - 1);
}

TEST(random, rand01_reaches_both_ends_and_shaped_stays_inside) {
    bool zero = false, one = false;
    seed_random(12345);
    for (int i = 0; i < 2000000 && !(zero && one); ++i) {
        float u = rand01();
        ASSERT_GE(u, 0.0f);
        ASSERT_LE(u, 1.0f);
        zero |= u == 0.0f;
        one |= u == 1.0f;
    }
    EXPECT_TRUE(zero && one);
    for (int i = 0; i < 10000; ++i) {
        float s = shaped_random(0.1f);
        ASSERT_GE(s, 0.0f);
        ASSERT_LE(s, 1.0f);
    }
}

class session_test : public in_process_sim {
protected:
    void SetUp() override {
        in_process_sim::SetUp();
        reset_settings();
        reset_session();
        platform_calls.message_box = [](const char*, const char*) {};
    }
    void TearDown() override {
        platform_restore_calls();
        reset_settings();
        reset_session();
        in_process_sim::TearDown();
    }
};

TEST_F(session_test, wind_in_metres_per_second_and_true_degrees_above_the_surface_layer) {
    open_link("wind 270 20\nmagnetic-variation 10\nwind-layer 600\naltitude 1000\n");
    read_aircraft_position();
    wait_for_unpause();
    EXPECT_EQ(wind_knots, 20);
    EXPECT_EQ(wind_speed, 10);  // 20 x 0.5141 = 10.28
    EXPECT_EQ(wind_dir, -90);
}

TEST_F(session_test, wind_below_the_surface_layer_is_corrected_by_the_variation) {
    open_link("wind 157.5 13\nmagnetic-variation 45\nwind-layer 600\naltitude 300\n");
    read_aircraft_position();
    wait_for_unpause();
    EXPECT_EQ(wind_speed, 7);  // 6.68 rounds up
    // 157 (truncated) + 45 = 202 turns to -158; the raw angle wraps to -157.5.
    EXPECT_EQ(wind_dir, -158);
    EXPECT_EQ(wind_dir_raw, -28672);
}

TEST_F(session_test, paused_start_shows_one_text_and_waits_three_sim_seconds) {
    open_link("paused yes\ntime 12:00:00\nclock lock-step 0.25\nat 2 unpause\n");
    wait_for_unpause();
    EXPECT_EQ(sim::world.texts_shown, 1u);
    EXPECT_EQ(sim::world.last_text, "Please un-pause Flight Simulator for initialization to complete.");
    EXPECT_FALSE(sim::world.paused);
    EXPECT_GE(sim::world.time_of_day, 12 * 3600 + 3.0);
    EXPECT_EQ(running, 1);
}

TEST_F(session_test, the_wait_after_the_un_pause_ends_at_midnight) {
    open_link("paused yes\ntime 23:59:59\nclock lock-step 0.25\nat 1 unpause\n");
    wait_for_unpause();
    EXPECT_LT(sim::world.time_of_day, 60.0);
    EXPECT_EQ(running, 1);
}

// The server answers 0 ("bad data", result 13) to the third send only: the
// first pause read after the text.
int sends_seen = 0;
bool answer_third_send_badly(platform_handle window, std::uint32_t msg, std::uint32_t wparam, std::uint32_t lparam,
                             std::uint32_t timeout_ms, std::int32_t* result) {
    bool sent = platform_system_calls().send_message(window, msg, wparam, lparam, timeout_ms, result);
    if (++sends_seen == 3 && sent) *result = 0;
    return sent;
}

TEST_F(session_test, one_bad_answer_while_paused_does_not_end_the_wait) {
    open_link("paused yes\ntime 12:00:00\nclock lock-step 0.25\nat 2 unpause\n");
    sends_seen = 0;
    platform_calls.send_message = answer_third_send_badly;
    wait_for_unpause();
    platform_restore_calls();
    EXPECT_FALSE(sim::world.paused);
    EXPECT_GE(sim::world.time_of_day, 12 * 3600 + 3.0);
    EXPECT_EQ(running, 1);
}

TEST_F(session_test, a_simulator_vanishing_while_paused_ends_the_wait) {
    open_link("paused yes\n");
    auto text_shown = [] {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        return sim::world.texts_shown > 0;
    };
    std::thread stopper([this, text_shown] {
        while (!text_shown()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stop_server();
    });
    wait_for_unpause();
    stopper.join();
    EXPECT_EQ(running, 0);
}

bool paused_text_shown() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return sim::world.texts_shown > 0;
}
bool un_paused_after_the_text() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return sim::world.texts_shown > 0 && !sim::world.paused;
}

struct stalled_wait {
    const char* what;
    std::uint32_t offset, bytes;
    bool (*when)();
};

class stalled_start_test : public session_test, public ::testing::WithParamInterface<stalled_wait> {};

// A simulator busy for about 20 s (nine sends of one read time out) while
// paused at start, or in the 3 seconds after, loses that read only: the
// wait reads again and start-up completes.
TEST_P(stalled_start_test, a_stalled_read_in_a_start_up_wait_is_read_again) {
    const stalled_wait& c = GetParam();
    load_scenario("paused yes\ntime 12:00:00\nclock lock-step 0.25\nat 2 unpause\n");
    start_server();
    stall_read(c.offset, c.bytes, send_attempts, c.when);
    initialise_session();
    EXPECT_EQ(stalled_read.sends_left, 0) << c.what;
    EXPECT_EQ(running, 1) << c.what;
    EXPECT_EQ(sim::world.last_text, "Skarvo 2004 - version 3.2.  Initialization complete.") << c.what;
}

INSTANTIATE_TEST_SUITE_P(session, stalled_start_test,
                         ::testing::Values(stalled_wait{"pause read", 0x0264, 2, paused_text_shown},
                                           stalled_wait{"clock read after the un-pause", 0x0238, 3, un_paused_after_the_text}));

// A first position read that only timed out ends the session (the main
// loop will not run), but start-up itself runs on while the simulator is
// there: thermals, hot keys and the start-up text.
TEST_F(session_test, start_up_runs_on_after_a_first_position_read_that_timed_out) {
    load_scenario("clouds 2000 9\n");
    start_server();
    stall_read(0x0560, 0, send_attempts);
    initialise_session();
    EXPECT_EQ(stalled_read.sends_left, 0);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(lift_ceiling, 2000);
    EXPECT_GT(active_thermals[4].radius, 0.0f);
    EXPECT_EQ(hotkey_count, hotkey_table_size);
    EXPECT_EQ(sim::world.last_text, "Skarvo 2004 - version 3.2.  Initialization complete.");
}

TEST_F(session_test, start_up_places_the_inversion_layer_below_the_ceiling) {
    load_scenario("clouds 2000 9\n");
    start_server();
    inversion_strength = 0.3f;
    inversion_half_thickness = 100;
    inversion_altitude = 400;
    initialise_session();
    EXPECT_EQ(lift_ceiling, 2000);
    EXPECT_EQ(inversion_altitude, 1500);
    EXPECT_EQ(sim::world.last_text, "Skarvo 2004 - version 3.2.  Initialization complete.");
}

TEST_F(session_test, no_inversion_keeps_the_distance) {
    load_scenario("clouds 2000 9\n");
    start_server();
    inversion_altitude = 400;
    initialise_session();
    EXPECT_EQ(inversion_altitude, 400);
}

TEST_F(session_test, failed_open_shows_one_box_and_still_fixes_the_track) {
    initialise_session();
    EXPECT_EQ(running, 0);
    EXPECT_EQ(link_result, link_not_open);
    EXPECT_STREQ(message_text, "Cannot link to FSUIPC.\n\nMake sure FS is running, and try again.");
}

TEST_F(session_test, track_fixes_start_at_the_aircraft) {
    load_scenario("position 46 7\ntime 14:30:00\n");
    start_server();
    initialise_session();
    EXPECT_NEAR(track_fix_1.latitude, 46 * 0.0174533, 1e-4);
    EXPECT_EQ(track_fix_1.latitude, track_fix_2.latitude);
    EXPECT_EQ(track_fix_1.longitude, track_fix_2.longitude);
    EXPECT_GE(track_fix_1.time, 14u * 3600 + 30 * 60);
    EXPECT_EQ(track_fix_1.time, track_fix_2.time);
}

}  // namespace
