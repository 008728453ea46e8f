// Aircraft state from the simulator's words, read through the stand-in.
#include "in_process_sim.h"

#include "driver/session.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"

#include <cmath>

namespace {

TEST(position_units, whole_and_fraction_words) {
    EXPECT_NEAR(position_units(0, 5550972) / latitude_units_per_radian, 0.87179, 1e-5);
    EXPECT_DOUBLE_EQ(position_units(0x80000000u, 3), 3.5);
    // A high word below 1 subtracts the fraction: 0 with a fraction is below 0.
    EXPECT_DOUBLE_EQ(position_units(0x40000000u, 0), -0.25);
    EXPECT_DOUBLE_EQ(position_units(0x80000000u, -2), -2.5);
    EXPECT_DOUBLE_EQ(position_units(0, -7), -7.0);
}

using aircraft_test = in_process_sim;

TEST_F(aircraft_test, position_and_altitude_in_radians_and_metres) {
    open_link("position 50.0 -120.5\naltitude 1523.7\n");
    read_aircraft_position();
    // The program's divisor, not the exact one, turns the units into radians.
    EXPECT_NEAR(aircraft_latitude, 50.0 * (10001750.0 / 90.0) / 6367314.0, 1e-9);
    EXPECT_LT(aircraft_latitude, 50.0 * 0.0174532925);
    EXPECT_NEAR(aircraft_longitude, -120.5 * 0.0174532925, 1e-6);
    EXPECT_EQ(aircraft_altitude, 1523);
}

TEST_F(aircraft_test, southern_and_western_positions_are_negative) {
    open_link("position -33.9 -0.4\naltitude -10\n");
    read_aircraft_position();
    EXPECT_LT(aircraft_latitude, 0.0);
    EXPECT_NEAR(aircraft_longitude, -0.4 * 0.0174532925, 1e-7);
    EXPECT_EQ(aircraft_altitude, -10);
}

TEST_F(aircraft_test, clock_wraps_at_midnight) {
    open_link("time 23:59:59\nclock lock-step 0.5\n");
    EXPECT_EQ(sim_clock_seconds(), 86399u);
    sim_clock_seconds();
    EXPECT_EQ(sim_clock_seconds(), 0u);
}

TEST_F(aircraft_test, a_vanished_simulator_ends_the_session_and_keeps_the_state) {
    open_link("position 10 20\naltitude 800\ntime 10:00:00\n");
    read_aircraft_position();
    std::uint32_t clock = sim_clock_seconds();
    double latitude = aircraft_latitude;
    stop_server();
    running = 1;
    read_aircraft_position();
    EXPECT_EQ(running, 0);
    EXPECT_EQ(aircraft_latitude, latitude);
    EXPECT_EQ(aircraft_altitude, 800);
    EXPECT_EQ(sim_clock_seconds(), clock);
    running = 1;
}

}  // namespace
