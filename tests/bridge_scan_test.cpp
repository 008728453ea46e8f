// The program's terrain scan through the FlightGear bridge, against a
// property server of our own whose aircraft stands on other ground: every
// elevation recorded must be the probe's height at the point visited, with
// FlightGear still loading the scenery at first, with the heights fetched
// ahead in blocks, and with an add-on that answers only single points.
#include "bridge.h"
#include "fake_property_server.h"
#include "mapping.h"
#include "props_client.h"
#include "program_folder.h"

#include "terrain/terrain_scan.h"
#include "world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {


// Ground that steps with the 3-arc-second grid: 10 m a row, 1 m a column,
// flat around each grid point so that the points' last bits do not matter.
double stepped_ground(double lat, double lon) {
    return 200 + 10 * std::round((lat - 21.5) * 1200) + std::round((lon + 158.25) * 1200) + 0.25;
}

class bridge_scan_test : public program_folder_test {
protected:
    void SetUp() override {
        program_folder_test::SetUp();
        const std::pair<const char*, const char*> flying[] = {
            {"/position/latitude-deg", "21.56"},     {"/position/longitude-deg", "-158.2"},
            {"/position/altitude-ft", "3300"},      {"/position/ground-elev-m", "7"},
            {"/sim/time/elapsed-sec", "100"},       {"/sim/time/local-day-seconds", "50400"},
            {"/environment/wind-speed-kt", "12"},   {"/environment/wind-from-heading-deg", "60"},
            {"/environment/magnetic-variation-deg", "10"}, {"/velocities/groundspeed-kt", "50"},
        };
        for (auto [p, v] : flying) fg.put(p, v);
        fg.set_terrain([this](double lat, double lon) {
            int& asked = probes[{lat, lon}];
            return ++asked <= unloaded ? std::string("none") : std::to_string(stepped_ground(lat, lon));
        });
        bridge::forget_the_scans_ground();
        ASSERT_TRUE(client.connect_to("127.0.0.1", fg.port(), 2000));
        ASSERT_TRUE(bridge::exchange(client));
        sim::client_write_hook = bridge::queue_client_write;
        start_server();
        bridge_loop = std::thread([this] {
            for (double t = 100; bridging; t += 0.02) {
                fg.put("/sim/time/elapsed-sec", std::to_string(t));
                if (!bridge::exchange(client)) break;
            }
            bridge::release_answers();
        });
    }
    void stop_bridging() {
        bridging = false;
        if (bridge_loop.joinable()) bridge_loop.join();
    }
    void TearDown() override {
        stop_bridging();
        sim::client_write_hook = nullptr;
        program_folder_test::TearDown();
    }
    bridge::fake_property_server fg;
    bridge::props_client client;
    std::map<std::pair<double, double>, int> probes;
    int unloaded = 0;  // how many times a point is "none" before its height
    std::atomic<bool> bridging{true};
    std::thread bridge_loop;
};

std::vector<int> elevation_records(const std::string& path) {
    std::ifstream in(path);
    std::string line, data;
    while (std::getline(in, line)) data = line;  // the records follow the header's last empty line
    std::vector<int> records;
    for (std::size_t at = 0; at + 4 <= data.size(); at += 4) records.push_back(std::stoi(data.substr(at, 4)));
    return records;
}

const float to_radians = 0.0174533f;

// Each elevation of a scan of `rows` x `columns` points from 21.5650 N,
// 158.2167 W on.
void expect_stepped(const std::vector<int>& records, int rows, int columns) {
    ASSERT_EQ(records.size(), static_cast<std::size_t>(rows * columns));
    EXPECT_EQ(records[0], 200 + 10 * 78 + 40);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j)
            ASSERT_EQ(records[static_cast<std::size_t>(i * columns + j)], records[0] + 10 * i + j) << i << ", " << j;
}

TEST_F(bridge_scan_test, every_elevation_is_flightgears_ground_at_the_point_visited_once_its_scenery_came) {
    unloaded = 2;
    const float north = 21.5675f, south = 21.5658333f, west = -158.2158333f, east = -158.2141667f;
    make_topo(north * to_radians, south * to_radians, west * to_radians, east * to_radians, 1, 0.0000005f);
    expect_stepped(elevation_records("skv-elev.dat"), 5, 5);  // 2 steps each way, widened by one
    EXPECT_EQ(fg.sets_of(bridge::slew_hold_property), std::vector<std::string>{"true"});
    EXPECT_EQ(fg.sets_of("/sim/rendering/draw-mask/terrain"), std::vector<std::string>{"false"});  // a scan draws nothing
}

// 60 x 121 points: a few points asked for alone (before the scan, its
// first point), the rest in blocks of whole rows.
// FlightGear meanwhile draws nothing, runs its frames unthrottled and loads
// the scenery over the rows' whole width (~5.2 km either side of the
// middle, here); the bridge leaves it as it was.
TEST_F(bridge_scan_test, the_ground_is_fetched_ahead_in_blocks) {
    const std::pair<const char*, const char*> own[] = {
        {"/sim/frame-rate-throttle-hz", "10"},        {"/environment/visibility-m", "8000"},
        {"/sim/rendering/static-lod/bare", "30000"},  {"/environment/config/presets/visibility-m", "8000"},
        {"/environment/config/presets/visibility-m-override", "false"},
    };
    for (auto [p, v] : own) fg.put(p, v);
    const float north = 21.6133333f, south = 21.5658333f, west = -158.2158333f, east = -158.1175f;
    make_topo(north * to_radians, south * to_radians, west * to_radians, east * to_radians, 1, 0.0000005f);
    expect_stepped(elevation_records("skv-elev.dat"), 60, 121);
    EXPECT_LE(fg.sets_of("/skarvo/probe/point-request").size(), 3u);
    EXPECT_LE(fg.sets_of("/skarvo/probe/block/request").size(), 60 * 121 / 1452 + 12u);  // 12 rows to a block

    stop_bridging();  // the bridge leaves, the aircraft still in slew mode
    ASSERT_TRUE(bridge::restore_after_a_scan(client));
    std::vector<std::string> after;
    ASSERT_TRUE(client.get({"/sim/frame-rate-throttle-hz"}, &after, 2000));  // answered once the sets are in
    EXPECT_EQ(fg.sets_of("/sim/frame-rate-throttle-hz"), (std::vector<std::string>{"0", "10"}));
    auto range = fg.sets_of("/sim/rendering/static-lod/bare");
    ASSERT_EQ(range.size(), 2u);
    EXPECT_NEAR(std::stod(range[0]), 10200, 100);
    EXPECT_EQ(range[1], "30000");
    EXPECT_EQ(fg.sets_of("/environment/config/presets/visibility-m"), (std::vector<std::string>{range[0], "8000"}));
    EXPECT_EQ(fg.value("/environment/config/presets/visibility-m-override"), "false");
}

// Drawn, FlightGear's first frames of a scan can take a minute (scenery
// loading): the bridge waits for them, as for any snapshot.
TEST_F(bridge_scan_test, a_long_frame_as_the_scan_begins_is_waited_for) {
    bridge::answer_patience_ms = 200;
    fg.stall_when_asked("/sim/frame-rate-throttle-hz", 600);  // the settings read as slew mode begins
    const float north = 21.5675f, south = 21.5658333f, west = -158.2158333f, east = -158.2141667f;
    make_topo(north * to_radians, south * to_radians, west * to_radians, east * to_radians, 1, 0.0000005f);
    bridge::answer_patience_ms = 10000;
    expect_stepped(elevation_records("skv-elev.dat"), 5, 5);
}

TEST_F(bridge_scan_test, an_add_on_without_blocks_is_asked_point_by_point) {
    fg.without_blocks();
    const float north = 21.5675f, south = 21.5658333f, west = -158.2158333f, east = -158.2141667f;
    make_topo(north * to_radians, south * to_radians, west * to_radians, east * to_radians, 1, 0.0000005f);
    expect_stepped(elevation_records("skv-elev.dat"), 5, 5);
    EXPECT_GE(fg.sets_of("/skarvo/probe/point-request").size(), 25u);
}

}  // namespace
