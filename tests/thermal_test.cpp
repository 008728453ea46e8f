// The thermal model against the stand-in simulator in-process: geometry,
// time of day, derived parameters, placement of new thermals, and the lean
// of the columns with the wind.
#include "in_process_sim.h"

#include "config/settings.h"
#include "driver/session.h"
#include "simlink/aircraft.h"
#include "thermals/drift.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <cmath>

namespace {

constexpr double pi = 3.14159265358979;
constexpr double radians_per_degree = pi / 180;

template <typename change>
void with_world(change c) {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    c(sim::world);
}

class thermal_test : public in_process_sim {
protected:
    void SetUp() override {
        in_process_sim::SetUp();
        reset_settings();
        reset_thermal_state();
        reset_session();
        seed_random(1234);
    }
    void TearDown() override {
        reset_settings();
        reset_thermal_state();
        in_process_sim::TearDown();
    }
    // Flies the scenario: link open, aircraft position read.
    void fly(const std::string& scenario) {
        open_link(scenario);
        read_aircraft_position();
    }
    double miles_to(double lat, double lon) { return distance_miles(aircraft_latitude, aircraft_longitude, lat, lon); }
};

// ---- geometry -----------------------------------------------------------------

TEST(geometry, distances_and_offsets_on_the_program_sphere) {
    EXPECT_EQ(distance_miles(0.8, 0.2, 0.8, 0.2), 0.0);
    EXPECT_NEAR(distance_miles(0.0, 0.0, 1.0 / 3956, 0.0), 1.0, 1e-9);
    // East-west distances shrink with the cosine of the first point's latitude.
    double at_equator = distance_miles(0.0, 0.0, 0.0, 0.01);
    EXPECT_NEAR(distance_miles(60 * radians_per_degree, 0.0, 60 * radians_per_degree, 0.01), at_equator / 2, 1e-9);

    aircraft_latitude = 47 * radians_per_degree;
    aircraft_longitude = 11 * radians_per_degree;
    for (float bearing : {0.0f, 1.0f, 2.5f, 4.0f, 6.0f}) {
        double lat = aircraft_latitude + north_offset(bearing, 2.5f);
        double lon = aircraft_longitude + east_offset(bearing, 2.5f);
        EXPECT_NEAR(distance_miles(aircraft_latitude, aircraft_longitude, lat, lon), 2.5, 1e-5);
    }
}

TEST_F(thermal_test, bearings_are_magnetic_whole_degrees_up_to_360) {
    fly("position 0 0\nmagnetic-variation 45\n");
    EXPECT_EQ(bearing_degrees(0, 0, 0, 0.001), 45);  // due east, 45 degrees east variation
    with_world([](sim::world_state& w) { w.magnetic_variation_deg = 0; });
    double east = -std::tan(0.4 * radians_per_degree) * 0.001;  // 359.6 degrees true
    EXPECT_EQ(bearing_degrees(0, 0, 0.001, east), 360);
}

TEST_F(thermal_test, time_of_day_factor_over_the_soaring_day) {
    fly("");
    struct {
        const char* time;
        float factor;
    } samples[] = {{"09:30", 0}, {"10:00", 0}, {"10:01", 1.0f / 180}, {"13:00", 1}, {"16:00", 1},
                   {"17:59", 1.0f / 120}, {"18:00", 0}};
    for (auto s : samples) {
        int h = 0, m = 0;
        std::sscanf(s.time, "%d:%d", &h, &m);
        with_world([&](sim::world_state& w) { w.time_of_day = h * 3600 + m * 60 + 1; });
        EXPECT_NEAR(time_of_day_factor(), s.factor, 1e-6) << s.time;
    }
}

// ---- derived parameters ---------------------------------------------------------

TEST(derived_parameters, widespread_sink_and_the_strength_that_makes_up_for_it) {
    reset_settings();
    reset_thermal_state();
    thermal_strength = 3.0f;
    sink_setting = 0;
    derive_thermal_parameters();
    EXPECT_EQ(thermal_strength, 3.0f);
    EXPECT_EQ(sink_rate, 0.0f);

    sink_setting = 100;
    sink_rate = -100 / 197.0f;
    derive_thermal_parameters();
    EXPECT_FLOAT_EQ(thermal_strength, 3.0f + 100 / 197.0f);

    thermal_strength = 3.0f;
    sink_setting = 1;
    derive_thermal_parameters();
    // About -0.0176 s before compensation; the strength then makes up for it
    // to within 0.05 m/s.
    float typical = 0.41886f * 0.56f + 0.3f;
    EXPECT_NEAR(-0.672f * typical * typical / (3.3f * 3.3f), -0.0176f, 0.0002f);
    EXPECT_GT(thermal_strength, 3.0f);
    EXPECT_GE(thermal_strength + sink_rate, 3.0f - 0.05f);

    reset_settings();
    scenery_lift_enabled = 1;
    sink_setting = 0;
    derive_thermal_parameters();
    EXPECT_EQ(sink_rate, 0.0001f);
}

// ---- random shapes -------------------------------------------------------------

struct histogram {
    int ends = 0, middle = 0;
    double mean = 0;
};

template <typename draw>
histogram draws(draw d) {
    histogram h;
    const int n = 40000;
    for (int i = 0; i < n; ++i) {
        float x = d();
        EXPECT_GE(x, 0.0f);
        EXPECT_LE(x, 1.0f);
        h.ends += x < 0.1f || x > 0.9f;
        h.middle += x > 0.45f && x < 0.55f;
        h.mean += x / n;
    }
    return h;
}

TEST(random_shapes, the_floor_sets_how_often_the_ends_are_kept) {
    seed_random(77);
    // The failed draw becomes the next candidate, so the chain leans a little
    // toward large values: the bell's mean is about 0.53, not 0.5.
    histogram bell = draws([] { return shaped_random(0.1f); });
    EXPECT_NEAR(bell.mean, 0.534, 0.01);
    EXPECT_LT(bell.ends * 3, bell.middle);  // the outer 20 % far rarer than the middle 10 %
    histogram flat = draws([] { return shaped_random(1.0); });
    EXPECT_NEAR(flat.mean, 0.5, 0.01);  // a floor of 1 keeps every first draw
    EXPECT_NEAR(flat.ends, 2 * flat.middle, flat.middle * 0.15);
    histogram small = draws([] { return skewed_random(0, 0.5f); });
    histogram large = draws([] { return skewed_random(1, 0.5f); });
    EXPECT_LT(small.mean + 0.08, large.mean);
}

// ---- generation ------------------------------------------------------------------

TEST_F(thermal_test, scattered_thermals_lie_in_the_field_but_off_the_aircraft) {
    fly("position 47 11\naltitude 1200\ntime 14:00\nclouds 2000 9\n");
    lift_ceiling = 2000;
    thermal_strength = 3.0f;
    for (int i = 0; i < 300; ++i) {
        generate_thermal(i % 5, scatter);
        const active_thermal& t = active_thermals[i % 5];
        double d = miles_to(t.lat_here, t.lon_here);
        EXPECT_GE(d, t.radius + 0.03 - 1e-4);
        EXPECT_LE(d, field_radius + 1e-4);
        EXPECT_GE(t.top, 2000 - 30);
        EXPECT_LE(t.top, 2000 + 108);
        EXPECT_GE(t.strength, 0.89f * 3.0f - 1e-4f);
        EXPECT_LE(t.strength, 1.33f * 3.0f + 1e-4f);
        EXPECT_GE(t.radius, radius_min);
        EXPECT_LE(t.radius, radius_min + radius_span);
        EXPECT_GE(t.lifetime, 15u * 60);
        EXPECT_LE(t.lifetime, 25u * 60);
        EXPECT_LE(sim_clock_seconds() - t.birth_time, t.lifetime + 1);  // part-way through its life
    }
}

TEST_F(thermal_test, a_scattered_birth_time_is_truncated_after_the_subtraction) {
    fly("position 47 11\naltitude 1200\ntime 14:00\nclock lock-step 0.0001\n");
    for (std::uint32_t seed = 1; seed <= 50; ++seed) {
        seed_random(seed);
        generate_thermal(0, scatter);
        seed_random(seed);  // the same draws again: lifetime, radius, distance, birth
        float lifetime = std::round(shaped_random(0.1f) * 600.0f + 900.0f);
        skewed_random(0, radius_shape);
        rand01();
        float birth = 50400.0f - rand01() * lifetime;
        EXPECT_EQ(active_thermals[0].birth_time, static_cast<std::uint32_t>(birth)) << "seed " << seed;
    }
}

TEST_F(thermal_test, renewed_thermals_keep_clear_of_the_thermal_the_aircraft_is_in) {
    fly("position 47 11\naltitude 1200\ntime 14:00\n");
    thermal_strength = 3.0f;
    for (int i = 0; i < 200; ++i) {
        generate_thermal(1, renew);
        EXPECT_LE(miles_to(active_thermals[1].lat_here, active_thermals[1].lon_here), field_radius + 1e-4);
    }
    active_thermals[0].lat_here = aircraft_latitude;
    active_thermals[0].lon_here = aircraft_longitude;
    active_thermals[0].radius = 0.5f;
    for (int i = 0; i < 200; ++i) {
        generate_thermal(1, renew);
        const active_thermal& t = active_thermals[1];
        double clear = 0.667 * (2 * (radius_min + radius_span) + t.radius);
        EXPECT_GE(miles_to(t.lat_here, t.lon_here), clear - 1e-4);
        EXPECT_GE(t.birth_time, 14u * 3600);  // life starting now
    }
}

TEST_F(thermal_test, ahead_of_a_steady_track_at_the_edge_of_the_field) {
    // Flying north-east at 30 m/s; the fix a minute back lies on the track.
    fly("position 47 11\naltitude 1200\ntime 14:00\nmotion 30 45\nclock lock-step 0.001\n");
    thermal_strength = 3.0f;
    double back_miles = 30.0 * 60 / 1609;
    track_fix_1 = {aircraft_latitude + north_offset(3.927f, static_cast<float>(back_miles)),
                   aircraft_longitude + east_offset(3.927f, static_cast<float>(back_miles)), 14 * 3600 - 60};
    float track = mean_track();
    ASSERT_LT(track, 6.3f);
    EXPECT_NEAR(track, 45 * radians_per_degree, 0.03);
    for (int i = 0; i < 200; ++i) {
        generate_thermal(2, ahead);
        const active_thermal& t = active_thermals[2];
        EXPECT_NEAR(miles_to(t.lat_here, t.lon_here), field_radius, 1e-3);
        double north = t.lat_here - aircraft_latitude, east = (t.lon_here - aircraft_longitude) * std::cos(aircraft_latitude);
        double off_track = std::remainder(std::atan2(east, north) - track, 2 * pi);
        EXPECT_LE(std::fabs(off_track), pi / 2 + 0.01);
    }
}

TEST_F(thermal_test, mean_track_codes) {
    fly("position 47 11\ntime 14:00\nmotion 30 45\n");
    track_fix_1 = track_fix_2 = {aircraft_latitude, aircraft_longitude, 14 * 3600 - 10};
    EXPECT_EQ(mean_track(), track_history_too_short);
    track_fix_1.time = 14 * 3600 - 60;  // a fix a minute old, where the aircraft is now: no speed
    with_world([](sim::world_state& w) { w.track_deg = 0; });
    track_fix_1.latitude -= 0.5 / 3956;  // half a mile south: the track fits, the speed does not
    EXPECT_EQ(mean_track(), speed_not_steady);
    with_world([](sim::world_state& w) { w.track_deg = 90; });
    EXPECT_EQ(mean_track(), track_not_steady);
}

// The track and the bearing of the fix are compared as the doubles they are:
// a track a hair over 0.209 rad from the bearing is not steady.
TEST_F(thermal_test, a_track_just_over_12_degrees_off_is_not_steady) {
    fly("position 47 11\ntime 14:00\nmotion 26 0\n");
    aircraft_latitude = 0.8125;  // positions a float holds exactly: the bearing is 0
    aircraft_longitude = 0.1875;
    track_fix_1 = {aircraft_latitude - 1.0 / 4096, aircraft_longitude, 14 * 3600 - 60};  // 0.97 miles south
    with_world([](sim::world_state& w) { w.track_deg = (0.209 - 5e-9) * 180 / pi; });
    EXPECT_NEAR(mean_track(), 0.1045, 1e-6);
    with_world([](sim::world_state& w) { w.track_deg = (0.209 + 5e-9) * 180 / pi; });
    EXPECT_EQ(mean_track(), track_not_steady);
}

TEST_F(thermal_test, a_track_across_north_averages_the_short_way) {
    fly("position 47 11\naltitude 1200\ntime 14:00\nmotion 30 359\nclock lock-step 0.001\n");
    double back_miles = 30.0 * 60 / 1609;
    float from = static_cast<float>(179 * radians_per_degree + 0.5 * radians_per_degree);  // fix slightly east of south
    track_fix_1 = {aircraft_latitude + north_offset(from, static_cast<float>(back_miles)),
                   aircraft_longitude + east_offset(from, static_cast<float>(back_miles)), 14 * 3600 - 60};
    float track = mean_track();
    ASSERT_LT(track, 6.3f);
    EXPECT_GT(std::cos(track), 0.99);  // north, not south
}

// The distance to the fix is kept as a float before the speed is formed,
// and the speed stays single precision: at a ground speed that puts the
// 75 % or 125 % bound between that speed and the one of a double
// distance, the speed is not steady.
TEST_F(thermal_test, the_speed_over_the_fix_interval_in_single_precision) {
    fly("position 47 11\ntime 14:00\nmotion 30 0\nclock lock-step 0.0001\n");
    aircraft_latitude = 0.8125;
    aircraft_longitude = 0.1875;
    track_fix_1 = {aircraft_latitude - 1.0 / 4096, aircraft_longitude, 14 * 3600 - 40};  // due south
    double miles = distance_miles(aircraft_latitude, aircraft_longitude, track_fix_1.latitude, track_fix_1.longitude);
    float single = static_cast<float>(miles) / static_cast<float>(40) * 1609;
    double whole = miles / 40 * 1609;
    ASSERT_NE(single, whole);
    double bound = single > whole ? 1.25 : 0.75;
    with_world([=](sim::world_state& w) { w.ground_speed_mps = (single + whole) / 2 / bound; });
    EXPECT_EQ(mean_track(), speed_not_steady);
}

// Where the track and the bearing of the fix lie less than half a turn
// apart, their mean is (track + bearing) x 0.5 as it is, even past 2 pi: a
// bearing of 360 degrees (6.3 rad) and a track just west of north.
TEST_F(thermal_test, a_mean_track_of_a_bearing_of_360_is_not_turned) {
    fly("position 47 11\ntime 14:00\nmotion 38.9 359.04\nclock lock-step 0.0001\n");
    aircraft_latitude = 0.8125;
    aircraft_longitude = 0.1875;
    track_fix_1 = {aircraft_latitude - 1.0 / 4096, aircraft_longitude + 1.0 / 524288, 14 * 3600 - 40};
    ASSERT_EQ(bearing_degrees(track_fix_1.latitude, track_fix_1.longitude, aircraft_latitude, aircraft_longitude), 360);
    double track_read = 0;
    with_world([&](sim::world_state&) { sim::read_offsets(0x6040, 8, reinterpret_cast<unsigned char*>(&track_read)); });
    float track = mean_track();
    EXPECT_EQ(track, static_cast<float>((track_read + 360 * 0.0175) * 0.5));
    EXPECT_GT(track, 6.28f);
}

TEST_F(thermal_test, cloud_layers_lower_the_ceiling_and_cumulus_raises_it) {
    fly("clouds 1500 4\n");
    lift_ceiling = 2000;
    ceiling_from_clouds();
    EXPECT_EQ(lift_ceiling, 1500);
    with_world([](sim::world_state& w) { w.cloud_altitude_m = 1800; });
    ceiling_from_clouds();
    EXPECT_EQ(lift_ceiling, 1500);
    with_world([](sim::world_state& w) { w.cloud_type = 9; });
    ceiling_from_clouds();
    EXPECT_EQ(lift_ceiling, 1800);
    with_world([](sim::world_state& w) { w.cloud_altitude_m = 0; });
    ceiling_from_clouds();
    EXPECT_EQ(lift_ceiling, 0);
}

TEST_F(thermal_test, expired_thermals_are_renewed_and_a_clock_jump_scatters_the_later_born) {
    fly("position 47 11\ntime 14:00\n");
    thermal_strength = 3.0f;
    for (int slot = 0; slot < active_slots; ++slot) generate_thermal(slot, scatter);
    active_thermals[3].birth_time = 14 * 3600 - 2000;
    active_thermals[3].lifetime = 1000;
    renew_expired();
    EXPECT_GE(active_thermals[3].birth_time, 14u * 3600);
    active_thermals[1].birth_time = 15 * 3600;
    renew_after_clock_jump(14 * 3600 + 100);
    EXPECT_LE(active_thermals[1].birth_time, 14u * 3600 + 100);
}

TEST_F(thermal_test, start_up_leaves_five_thermals_around_the_aircraft) {
    load_scenario("position 47 11\naltitude 1200\ntime 14:00\nclouds 2000 9\n");
    start_server();
    platform_calls.message_box = [](const char*, const char*) {};
    thermal_strength = 3.0f;
    initialise_session();
    platform_restore_calls();
    for (const auto& t : active_thermals) {
        EXPECT_GT(t.strength, 0.0f);
        EXPECT_LE(miles_to(t.lat_here, t.lon_here), field_radius + 1e-4);
        EXPECT_GT(t.lifetime, 0u);
    }
}

// ---- lean with the wind ------------------------------------------------------------

TEST_F(thermal_test, calm_air_keeps_every_column_over_its_point) {
    fly("position 47 11\naltitude 1000\ntime 14:00\n");
    thermal_strength = 3.0f;
    house_count = 1;
    house_thermals[0] = {};
    house_thermals[0].ground_lat = aircraft_latitude + 0.0002;
    house_thermals[0].ground_lon = aircraft_longitude;
    house_thermals[0].strength = 2.0f;
    generate_thermal(0, scatter);
    lean_active(0);
    lean_house(0);
    EXPECT_EQ(active_thermals[0].lat_here, active_thermals[0].lat_ref);
    EXPECT_EQ(active_thermals[0].lon_here, active_thermals[0].lon_ref);
    EXPECT_EQ(house_thermals[0].lat_here, house_thermals[0].ground_lat);
    EXPECT_EQ(house_thermals[0].lon_here, house_thermals[0].ground_lon);
}

TEST_F(thermal_test, below_the_top_band_the_column_lies_upwind_and_the_band_pushes_it_on) {
    fly("position 47 11\naltitude 1000\ntime 14:00\n");
    wind_speed = 10;
    wind_dir = 0;  // from the north: the air moves south
    active_thermal& t = active_thermals[0];
    t = {};
    t.top = 2000;
    t.strength = 3.0f;
    t.lat_ref = aircraft_latitude;
    t.lon_ref = aircraft_longitude;
    lean_active(0);
    EXPECT_EQ(t.ref_altitude, 2000 - 143);
    double upwind_miles = (2000 - 143 - 1000) * 10 / (0.9 * 3.0) / (70 * 16.09);
    EXPECT_NEAR((t.lat_here - t.lat_ref) * 3956, upwind_miles, 1e-4);  // north of the reference

    aircraft_altitude = 1900;  // in the top band
    double before = t.lat_ref;
    lean_active(0);
    EXPECT_LT(t.lat_here, before);  // pushed downwind (south)
    EXPECT_EQ(t.lat_ref, t.lat_here);
    EXPECT_EQ(t.ref_altitude, 1900);
    aircraft_altitude = 2000;  // at the top: nothing moves
    double here = t.lat_here;
    lean_active(0);
    EXPECT_EQ(t.lat_here, here);
}

TEST_F(thermal_test, a_house_column_keeps_the_old_wind_below_its_rebase) {
    fly("position 47 11\naltitude 1000\ntime 14:00\n");
    house_count = 1;
    house_thermal& h = house_thermals[0];
    h = {};
    h.ground_lat = aircraft_latitude;
    h.ground_lon = aircraft_longitude;
    h.strength = 3.0f;
    h.rebase_altitude = 1500;
    h.rebase_lat = aircraft_latitude - 0.001;
    h.rebase_lon = aircraft_longitude;
    prev_wind_speed = 5;
    prev_wind_dir = 0;
    wind_speed = 10;
    wind_dir = 90;
    lean_house(0);  // 1000 m is below the re-base: the previous wind, and the re-base slides down
    EXPECT_LT(h.lat_here, h.ground_lat);
    EXPECT_NEAR(h.lon_here, h.ground_lon, 1e-8);
    EXPECT_EQ(h.rebase_altitude, 1000);
    with_world([](sim::world_state& w) { w.altitude_m = 1400; });
    lean_house(0);  // above the re-base: the current wind from there
    EXPECT_LT(h.lon_here, h.rebase_lon);  // wind from the east moves it west
    EXPECT_EQ(h.rebase_altitude, 1000);
}

TEST_F(thermal_test, wind_changes_below_the_thresholds_are_ignored) {
    fly("position 47 11\naltitude 1000\nwind 90 20\n");
    wait_for_unpause();  // takes the wind as start-up does
    std::int16_t speed = wind_speed;
    with_world([](sim::world_state& w) { w.wind_knots = 22; });
    wind_check();
    EXPECT_EQ(wind_knots, 20);
    with_world([](sim::world_state& w) { w.wind_knots = 23; });
    wind_check();
    EXPECT_EQ(wind_knots, 23);
    EXPECT_EQ(prev_wind_speed, speed);

    // 1821 units of direction are a change, 1820 are not.
    std::int16_t raw = wind_dir_raw;
    with_world([raw](sim::world_state& w) { w.wind_from_deg = (raw + 1820) * 360.0 / 65536; });
    wind_check();
    EXPECT_EQ(wind_dir_raw, raw);
    with_world([raw](sim::world_state& w) { w.wind_from_deg = (raw + 1821) * 360.0 / 65536; });
    wind_check();
    EXPECT_EQ(wind_dir_raw, raw + 1821);
}

TEST_F(thermal_test, a_small_turn_through_south_is_a_change) {
    fly("position 47 11\naltitude 1000\nwind 179.5 10\n");
    wait_for_unpause();
    with_world([](sim::world_state& w) { w.wind_from_deg = -179.5; });
    wind_check();
    EXPECT_LT(wind_dir, 0);
    EXPECT_EQ(prev_wind_dir, 179);
}

// A read of the magnetic variation that times out is lost; the variation
// read before still turns the wind and the bearings magnetic.
TEST_F(thermal_test, a_lost_variation_read_keeps_the_variation_read_before) {
    fly("position 47 11\naltitude 300\nwind 90 20\nmagnetic-variation 15\nwind-layer 600\n");
    wait_for_unpause();
    std::int16_t raw = wind_dir_raw, direction = wind_dir;
    stall_read(0x02A0, 2, send_attempts);
    wind_check();
    EXPECT_EQ(stalled_read.sends_left, 0);
    EXPECT_EQ(wind_dir_raw, raw) << "the wind taken as changed by 15 degrees";
    EXPECT_EQ(wind_dir, direction);
    EXPECT_EQ(prev_wind_speed, 0);

    stall_read(0x02A0, 2, send_attempts);
    EXPECT_EQ(bearing_degrees(0, 0, 0, 0.001), 75);  // due east, 15 degrees east variation
}

}  // namespace
