// The FlightGear bridge against a property server of our own: the
// line-based protocol, the mapping of offsets to properties with their
// units, and the program's writes reaching FlightGear in order.
#include "autopilot.h"
#include "bridge.h"
#include "clouds.h"
#include "fake_property_server.h"
#include "mapping.h"
#include "props_client.h"
#include "terrain_probe.h"

#include "pilot.h"
#include "recorder.h"
#include "scenario.h"
#include "world.h"
#include "simlink/thermal_publication.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

void fill_flying_properties(bridge::fake_property_server& fg) {
    const std::pair<const char*, const char*> values[] = {
        {"/position/latitude-deg", "47.26"},          {"/position/longitude-deg", "11.35"},
        {"/position/altitude-ft", "5000"},            {"/position/ground-elev-m", "580.4"},
        {"/sim/time/elapsed-sec", "12.5"},            {"/sim/time/local-day-seconds", "48600"},
        {"/sim/freeze/master", "false"},              {"/environment/wind-speed-kt", "12"},
        {"/environment/wind-from-heading-deg", "250"}, {"/environment/magnetic-variation-deg", "2.5"},
        {"/environment/clouds/layer[0]/elevation-ft", "8000"}, {"/environment/clouds/layer[0]/coverage", "scattered"},
        {"/velocities/groundspeed-kt", "50"},         {"/orientation/track-deg", "90"},
        {"/environment/wind-from-down-fps", "3.28084"},
        {"/orientation/heading-deg", "270"},          {"/velocities/vertical-speed-fps", "-3.28084"},
    };
    for (auto [p, v] : values) fg.put(p, v);
}

class bridge_test : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim::load_scenario_text("climb off\n", &error));
        fill_flying_properties(fg);
        fg.set_terrain([](double lat, double) { return std::to_string(1000 + 10 * lat); });
        ASSERT_TRUE(client.connect_to("127.0.0.1", fg.port(), 2000));
        sim::client_write_hook = bridge::queue_client_write;
    }
    void TearDown() override { sim::client_write_hook = nullptr; }
    // One more exchange: the server has then handled every set sent before it.
    void round_trip() {
        std::vector<std::string> values;
        ASSERT_TRUE(client.get({"/sim/time/elapsed-sec"}, &values, 2000));
    }
    void write(std::uint32_t offset, const void* bytes, std::uint32_t n) {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        sim::write_offsets(offset, n, static_cast<const unsigned char*>(bytes));
    }
    bridge::fake_property_server fg;
    bridge::props_client client;
};

TEST_F(bridge_test, a_snapshot_in_the_programs_units) {
    ASSERT_TRUE(bridge::exchange(client));
    const sim::world_state& w = sim::world;
    EXPECT_DOUBLE_EQ(w.latitude_deg, 47.26);
    EXPECT_NEAR(w.altitude_m, 1524.0, 1e-9);
    EXPECT_EQ(w.ground_m, 580);
    EXPECT_DOUBLE_EQ(w.time_of_day, 48600);
    EXPECT_DOUBLE_EQ(w.elapsed_seconds, 12.5);
    EXPECT_FALSE(w.paused);
    EXPECT_EQ(w.cloud_altitude_m, 2438);
    EXPECT_EQ(w.cloud_type, 9);
    EXPECT_NEAR(w.ground_speed_mps, 25.7222, 1e-4);
    EXPECT_NEAR(w.scenery_lift_mps, 1.0, 1e-6);  // FlightGear's own updraft, nothing written yet
    EXPECT_DOUBLE_EQ(w.glider.heading_deg, 270);   // the pilot's compass and variometer
    EXPECT_NEAR(w.glider.climb_mps, -1.0, 1e-6);
    EXPECT_DOUBLE_EQ(w.session_seconds, 12.5);     // the record and the flight log count FlightGear's time

    fg.put("/environment/clouds/layer[0]/coverage", "clear");
    fg.put("/sim/freeze/master", "true");
    ASSERT_TRUE(bridge::exchange(client));
    EXPECT_EQ(w.cloud_altitude_m, 0);
    EXPECT_TRUE(w.paused);
}

TEST_F(bridge_test, a_key_pressed_in_flightgear_presses_the_hot_key_and_is_re_armed) {
    const unsigned char quit_slot[4] = {8, 16, 0, 0};
    write(0x3210, quit_slot, 4);
    fg.put("/skarvo/keys/quit", "1");
    std::uint8_t events = sim::world.hotkey_event;
    ASSERT_TRUE(bridge::exchange(client));
    EXPECT_EQ(sim::world.hotkey_event, events + 1);
    round_trip();
    EXPECT_EQ(fg.value("/skarvo/keys/quit"), "0");
}

// Drawn in software FlightGear now and then takes one frame of many
// seconds: the bridge waits it out and its answers stay in step.
TEST_F(bridge_test, a_flightgear_that_stalls_is_waited_for_and_one_that_dies_is_not) {
    bridge::answer_patience_ms = 100;
    fg.stall(400);
    ASSERT_TRUE(bridge::exchange(client));
    EXPECT_DOUBLE_EQ(sim::world.latitude_deg, 47.26);
    fg.put("/position/latitude-deg", "47.5");
    ASSERT_TRUE(bridge::exchange(client));
    EXPECT_DOUBLE_EQ(sim::world.latitude_deg, 47.5);

    fg.stall(400);
    std::thread killer([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        fg.vanish();
    });
    EXPECT_FALSE(bridge::exchange(client));
    killer.join();
    bridge::answer_patience_ms = 10000;
}

TEST_F(bridge_test, the_programs_writes_reach_flightgear_in_order_and_only_mapped_ones) {
    for (double v : {0.5, 1.0, 1.5}) write(0x3478, &v, 8);
    char text[128] = "To quit Skarvo 2004, press TAB-F12 now.";
    std::int16_t seconds = 5;
    write(0x3380, text, 128);
    write(0x32FA, &seconds, 2);
    std::snprintf(text, sizeof text, "Skarvo 2004 is still running.");
    write(0x3380, text, 128);
    write(0x32FA, &seconds, 2);
    std::uint32_t anything = 0xFFFFFFFF;
    write(0x1234, &anything, 4);  // no property behind it
    write(0x0560, &anything, 4);  // a position write outside slew mode goes nowhere
    EXPECT_EQ(bridge::writes_waiting(), 3u);
    ASSERT_TRUE(bridge::exchange(client));
    round_trip();
    EXPECT_EQ(fg.sets_of(bridge::vertical_air_property), std::vector<std::string>{"4.92125984"});  // the latest, in feet/s
    EXPECT_EQ(fg.sets_of("/sim/messages/copilot"),
              (std::vector<std::string>{"To quit Skarvo 2004, press TAB-F12 now.", "Skarvo 2004 is still running."}));
    EXPECT_TRUE(fg.sets_of("/position/latitude-deg").empty());
    // The add-on's status window: the last text and the air now, no program attached.
    EXPECT_EQ(fg.value("/skarvo/status/attached"), "false");
    EXPECT_EQ(fg.value("/skarvo/status/last-text"), "Skarvo 2004 is still running.");
    EXPECT_EQ(fg.value("/skarvo/status/vertical-air-mps"), "1.50");
    EXPECT_EQ(fg.value("/skarvo/status/vertical-air-kt"), "2.9");

    std::int16_t slew = 1;
    write(0x05DC, &slew, 2);
    std::int32_t high = 5555555;
    write(0x0564, &high, 4);
    ASSERT_TRUE(bridge::exchange(client));
    round_trip();
    EXPECT_EQ(fg.sets_of(bridge::slew_hold_property), std::vector<std::string>{"true"});
    EXPECT_EQ(fg.sets_of("/skarvo/status/last-text").size(), 1u);  // unchanged lines are not sent again
    ASSERT_EQ(fg.sets_of("/position/latitude-deg").size(), 1u);
    // The high word with the fraction the low word still holds: within one unit.
    EXPECT_NEAR(std::stod(fg.sets_of("/position/latitude-deg")[0]), 5555555 * 90.0 / 10001750, 90.0 / 10001750);
    // The ground below is the probe's at that point, not the aircraft's.
    EXPECT_EQ(sim::world.ground_m, 1500);
}

// The soaring pilot flies the sailplane through its holds: engaged once, at
// best-glide speed; a thermal named to the west turns it that way; only
// changed settings are sent again.
TEST_F(bridge_test, the_pilot_sets_the_sailplanes_holds) {
    ASSERT_TRUE(bridge::exchange(client));
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    bridge::start_autopilot(sim::pilot_sight::finder, {});
    EXPECT_FALSE(sim::world.glider.flying) << "the stand-in's own flight model must stay still";
    auto sets = bridge::autopilot_step(1.0);
    auto value_of = [&sets](const std::string& path) {
        for (const auto& s : sets)
            if (s.path == path) return s.value;
        return std::string();
    };
    EXPECT_EQ(value_of("/skarvo/autopilot/engaged"), "true");
    EXPECT_NEAR(std::stod(value_of("/skarvo/autopilot/airspeed-kt")), 50.77, 0.05);  // 94 km/h
    EXPECT_EQ(value_of("/skarvo/autopilot/bank-deg"), "0.00");

    sim::world.last_text = "thermal is 1.0 mile(s) away, bearing 180";
    ++sim::world.texts_shown;
    sets = bridge::autopilot_step(1.0);
    EXPECT_EQ(value_of("/skarvo/autopilot/engaged"), "");
    EXPECT_EQ(value_of("/skarvo/autopilot/airspeed-kt"), "");
    EXPECT_LT(std::stod(value_of("/skarvo/autopilot/bank-deg")), -20);  // heading 270, thermal to the south: turn left
    sim::reset_pilot();
}

// The pilot's view of FlightGear's ground comes in several answers (each
// as long as FlightGear's property server carries): the heights land in
// their places, and a point without scenery is not a number.
TEST_F(bridge_test, a_grid_of_ground_heights_in_several_answers) {
    fg.set_terrain([](double lat, double lon) {
        return lon > -158.1505 ? std::string("none") : std::to_string(1000 * (lat - 21) - 100 * (lon + 158));
    });
    bridge::grid_area area{21.5, -158.27, 0.002, 61, 61};
    std::vector<double> metres;
    ASSERT_TRUE(bridge::probe_grid(client, area, &metres));
    ASSERT_EQ(metres.size(), 61u * 61u);
    EXPECT_NEAR(metres[0], 500 + 27, 0.01);
    EXPECT_NEAR(metres[40 * 61 + 30], 580 + 21, 0.01);  // row 40: 21.58 N; column 30: 158.21 W
    EXPECT_NEAR(metres[60 * 61 + 59], 620 + 15.2, 0.01);
    EXPECT_TRUE(std::isnan(metres[60 * 61 + 60]));  // 158.15 W: no scenery there
    double h = 0;
    EXPECT_EQ(bridge::probe_point(client, 21.5, -158.1, &h), bridge::probe_outcome::no_scenery);
}

// A block's answer: whole metres, small changes a character each, others
// and the first after no scenery in brackets; anything else is no answer.
TEST(block_answer, whole_metres_from_changes_jumps_and_gaps) {
    std::vector<double> metres;
    ASSERT_TRUE(bridge::parse_block_answer("7 (12)Zfz0(-40).(5)V(32767)", 7, 10, &metres));
    std::vector<double> expected = {12, 12 + 4, 16 + 10, 26 + 30, 56 - 31, -40, NAN, 5, 5, 32767};
    for (std::size_t k = 0; k < expected.size(); ++k)
        if (k != 6) {
            EXPECT_EQ(metres[k], expected[k]) << k;
        }
    EXPECT_TRUE(std::isnan(metres[6]));
    EXPECT_EQ(bridge::parse_block_answer("7 (12)Z", 8, 2, &metres), false);       // another request's
    EXPECT_EQ(bridge::parse_block_answer("7 Z(12)", 7, 2, &metres), false);       // a change with nothing before
    EXPECT_EQ(bridge::parse_block_answer("7 (12).V", 7, 3, &metres), false);      // nor after no scenery
    EXPECT_EQ(bridge::parse_block_answer("7 (12)Z", 7, 3, &metres), false);       // too few
    EXPECT_EQ(bridge::parse_block_answer("7 (40000)", 7, 1, &metres), false);     // off the ground's range
    EXPECT_EQ(bridge::parse_block_answer("7 (12", 7, 1, &metres), false);
    EXPECT_EQ(bridge::parse_block_answer("", 7, 0, &metres), false);
}

// Hours of flight: the record keeps a vertical air speed that moved by more
// than 0.01 m/s, or one a second of FlightGear's time.
// ---- clouds over the published thermals -------------------------------------

void publish(const thermal_publication& block) {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    sim::write_offsets(publication_offset, publication_bytes, reinterpret_cast<const unsigned char*>(&block));
}

std::string last_set(const std::vector<bridge::property_set>& sets, const std::string& path) {
    std::string value = "(not set)";
    for (const auto& s : sets)
        if (s.path == path) value = s.value;
    return value;
}

std::vector<bridge::property_set> cloud_sets(bool attached, bool blue) {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return bridge::cloud_sets(attached, blue);
}

// A cloud over each thermal worth marking, at its top over the column,
// as wide as the thermal when grown; moved as the column drifts, taken
// away when the thermal ends, none on a blue day, none once the program
// has gone (and its last thermals forgotten).
TEST(bridge_clouds, a_cloud_over_each_thermal_worth_marking_follows_it_and_goes_with_it) {
    std::string error;
    ASSERT_TRUE(sim::load_scenario_text("climb off\n", &error));
    bridge::forget_clouds();
    thermal_publication block{};
    block.publications = 1;
    block.record[0] = {7, 1800, 0.37, -2.76, 0.5f, 2.5f};
    block.record[1] = {8, 1900, 0.371, -2.761, 0.5f, 0.3f};  // too weak to carry a cloud
    block.record[5] = {9, 1700, 0.369, -2.759, 0.4f, 1.0f};
    publish(block);
    auto sets = cloud_sets(true, false);
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/serial"), "7");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/latitude-deg"), "21.199438");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/longitude-deg"), "-158.136351");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/base-ft"), "5906");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/width-m"), "1609");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[1]/serial"), "9");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[1]/width-m"), "644");  // half grown
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/update"), "1");
    EXPECT_EQ(bridge::clouds_on_show().size(), 2u);
    EXPECT_TRUE(cloud_sets(true, false).empty());

    block.record[0].lat_rad += 0.00001;
    ++block.publications;  // as the program counts each
    publish(block);
    sets = cloud_sets(true, false);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].path, "/skarvo/clouds/cloud[0]/latitude-deg");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/update"), "2");

    block.record[0].strength_mps = 0;  // its life is over
    ++block.publications;
    publish(block);
    sets = cloud_sets(true, false);
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[0]/serial"), "0");
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[1]/serial"), "(not set)");

    sets = cloud_sets(true, true);
    EXPECT_EQ(last_set(sets, "/skarvo/clouds/cloud[1]/serial"), "0");
    EXPECT_TRUE(bridge::clouds_on_show().empty());

    cloud_sets(false, false);
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    EXPECT_TRUE(sim::published_columns().empty());
}

TEST(vas_record, thinned_by_change_or_once_a_second) {
    sim::world.elapsed_seconds = 100;
    sim::set_vas_thinning(true);
    EXPECT_TRUE(sim::vas_worth_recording(1.000));
    EXPECT_FALSE(sim::vas_worth_recording(1.005));
    EXPECT_FALSE(sim::vas_worth_recording(0.995));
    EXPECT_TRUE(sim::vas_worth_recording(1.020));
    sim::world.elapsed_seconds = 100.5;
    EXPECT_FALSE(sim::vas_worth_recording(1.020));
    sim::world.elapsed_seconds = 101.1;
    EXPECT_TRUE(sim::vas_worth_recording(1.020));
    sim::set_vas_thinning(false);
    EXPECT_TRUE(sim::vas_worth_recording(1.020));
}

}  // namespace
