// Multi-player thermals: the shared file's header and entries as built,
// project files, and loads of the thermals alive now into the slots.
#include "program_folder.h"

#include "config/settings.h"
#include "driver/session.h"
#include "multiplayer/create_multi_file.h"
#include "multiplayer/multi_file.h"
#include "simlink/aircraft.h"
#include "thermals/geometry.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr float degree = 0.0174533f;

class multiplayer_test : public program_folder_test {
protected:
    void SetUp() override {
        program_folder_test::SetUp();
        seed_random(7);
        thermal_strength = 2.5f;
        sink_setting = 0;
    }
    // Builds the file at random over 10 x 10 miles near 47 N 11 E.
    void build_random(std::uint32_t start = 10 * 3600, std::uint32_t stop = 18 * 3600, float coverage = 14.615f) {
        program_mode = 2;
        float north = 47.0f * degree + 5.0f / 3956, south = 47.0f * degree - 5.0f / 3956;
        create_multiplayer_file(start, stop, 2, north, south, 11.0f * degree, 11.2f * degree, coverage, 10, 10);
    }
    std::vector<std::string> lines() {
        std::vector<std::string> all;
        std::istringstream in(read_file(multi_file_name));
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();  // a text file on Windows
            all.push_back(line);
        }
        return all;
    }
};

std::vector<unsigned long> starts_of(const std::vector<std::string>& lines) {
    std::vector<unsigned long> starts;
    for (std::size_t i = 19; i < lines.size(); ++i) {
        long n;
        double a, b;
        float r, s;
        int g;
        unsigned long start;
        unsigned d;
        if (std::sscanf(lines[i].c_str(), "%ld %lf %lf %f %f %d %lu %u", &n, &a, &b, &r, &s, &g, &start, &d) == 8)
            starts.push_back(start);
    }
    return starts;
}

TEST_F(multiplayer_test, the_header_as_written) {
    lean_factor = 120;
    weak_layer_height = 304;
    lift_ceiling = 0;
    build_random(10 * 3600 + 60, 17 * 3600 + 30 * 60);
    std::vector<std::string> l = lines();
    ASSERT_GT(l.size(), 22u);
    std::vector<std::string> expected = {
        "Warmfeld Project Map: (none used)", "", "Start Time: 10:01", "Stop Time:  17:30", "",
        "Lift Ceiling (no cumulus):      6000 feet MSL", "Weak Surface Layer Height:      1000 feet AGL",
        "Thermal Lean Factor:            1.20", "Widespread Sink:                0 fpm",
        "Enable Scenery (BGL) Lift/Sink: 0", "", "[Inversion Layer Settings]",
        "Present:                        0", "Thickness:                      not applicable",
        "Peak Strength Factor:           not applicable", "Distance Below Ceiling:         not applicable", "",
        "'Cheat Keys' Option:            2", ""};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(l[i], expected[i]) << "line " << i + 1;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Cannot create multi-player data file with 'Lift Ceiling...' = 0.\n\nchanging value to 6000 feet MSL");
    EXPECT_EQ(boxes[1].caption, "Multi-player data file built.");

    inversion_strength = 0.3f;
    inversion_half_thickness = 91;
    inversion_altitude = 457;
    build_random();
    l = lines();
    EXPECT_EQ(l[12], "Present:                        1");
    EXPECT_EQ(l[13], "Thickness:                      597 feet");
    EXPECT_EQ(l[14], "Peak Strength Factor:           30 percent");
    EXPECT_EQ(l[15], "Distance Below Ceiling:         1499 feet");
}

// Entry radians are (units x 0.00001) x 0.017453277777777776, in that order.
TEST_F(multiplayer_test, project_positions_in_radians_as_printed) {
    // The four words after the name may be of any length.
    std::ofstream(project_file_name) << "map\nskip " + std::string(70, 'x') + " four words\n"
                                        "4700000,-11700000,4,0,0,0,0,0,0,0,0,0,0 4500000,0,4,0,0,0,0,0,0,0,0,0,0\n";
    program_mode = 2;
    lift_ceiling = 2000;
    create_multiplayer_file(12 * 3600, 12 * 3600 + 60, 1, 0, 0, 0, 0, 14.615f, 0, 0);
    std::set<std::string> positions;
    std::vector<std::string> l = lines();
    for (std::size_t i = 19; i < l.size(); ++i) {
        std::istringstream words(l[i]);
        std::string number, lat, lon;
        if (words >> number >> lat >> lon) positions.insert(lat + " " + lon);
    }
    EXPECT_EQ(positions, (std::set<std::string>{"0.820304 -2.042034", "0.785398 0.000000"}));
}

// 0.1 by 0.3 degrees at 40 N, from 10:00 to 18:00, at the coverage that
// gives 3.3 miles: 16 thermals in each of 34 time slots.
TEST_F(multiplayer_test, an_area_from_the_settings_gets_the_thermals_its_extents_hold) {
    settings_tools.create_multiplayer_file = create_multiplayer_file;
    read_settings_text(settings_with({{23, "Thermal coverage: 14.615 per 100 square miles"}, {33, "Program mode: 2"},
                                      {36, "Thermal source (0-2): 2"}, {37, "Soaring starts: 10:00"},
                                      {38, "Soaring stops: 18:00"}, {39, "Northernmost latitude: 40.1"},
                                      {40, "Southernmost latitude: 40.0"}, {41, "Westernmost longitude: -120.0"},
                                      {42, "Easternmost longitude: -119.7"}}));
    EXPECT_EQ(starts_of(lines()).size(), 544u);
}

// A random latitude is (south + rand01 x (north - south)) x 100000 x 180 in
// single precision, and only then times 1/3.14159 in double: the draw 47
// over 45 to 46 degrees gives 4500148 hundred-thousandths (0.785423 rad).
TEST_F(multiplayer_test, random_latitudes_in_single_precision_until_the_inverse_of_pi) {
    std::uint32_t seed = 1;
    for (;; ++seed) {
        seed_random(seed);
        if (random15() == 47) break;
    }
    seed_random(seed);
    program_mode = 2;
    lift_ceiling = 2000;
    float north = static_cast<float>(46.0f * 0.0174533), south = static_cast<float>(45.0f * 0.0174533);
    create_multiplayer_file(12 * 3600, 12 * 3600 + 1, 2, north, south, 11.0f * degree, 11.1f * degree, 5, 1, 20);
    std::vector<std::string> l = lines();
    ASSERT_EQ(l.size(), 19u + 2);  // one thermal in each of two slots of 15 minutes
    std::set<std::string> latitudes;
    for (std::size_t i = 19; i < l.size(); ++i) latitudes.insert(l[i].substr(6, 8));
    EXPECT_TRUE(latitudes.count("0.785423")) << l[19] << "\n" << l[20];
}

TEST_F(multiplayer_test, a_day_at_random_over_ten_by_ten_miles_has_476_entries_in_start_order) {
    build_random();
    std::vector<unsigned long> starts = starts_of(lines());
    ASSERT_EQ(starts.size(), 476u);
    EXPECT_TRUE(std::is_sorted(starts.begin(), starts.end()));
    std::vector<std::string> l = lines();
    EXPECT_EQ(l[19].substr(0, 6), "00000 ");
    EXPECT_EQ(l[19 + 475].substr(0, 6), "00475 ");
}

std::string project_text() {
    // Three project thermals, one record of another kind, then a record that does not parse.
    return "Inn valley, 14 July\n"
           "skip these four words\n"
           "4720000, 1130000, 4, 0,0,0,0,0,0,0,0,0,0\n"
           "4725000 ; 1135000 ; 7 ; 0;0;0;0;0;0;0;0;0;0\n"
           "4730000,1140000,4,1,1,1,1,1,1,1,1,1,1 4710000,1120000,4,2,2,2,2,2,2,2,2,2,2\n"
           "4700000,oops\n"
           "4690000,1100000,4,0,0,0,0,0,0,0,0,0,0\n";
}

TEST_F(multiplayer_test, project_thermals_and_their_companions) {
    std::ofstream(project_file_name) << project_text();
    std::FILE* f = std::fopen(project_file_name, "rb");
    project_file p = read_project_file(f);
    std::fclose(f);
    EXPECT_EQ(p.map_name, "Inn valley, 14 July");
    ASSERT_EQ(p.thermals.size(), 3u);

    program_mode = 2;
    lift_ceiling = 2000;
    create_multiplayer_file(10 * 3600, 18 * 3600, 1, 0, 0, 0, 0, 14.615f, 0, 0);
    std::vector<std::string> l = lines();
    EXPECT_EQ(l[0], "Warmfeld Project Map: Inn valley, 14 July");
    auto positions_of = [&] {
        std::vector<std::pair<double, double>> found;
        for (std::size_t i = 19; i < l.size(); ++i) {
            long n;
            double lat, lon;
            if (std::sscanf(l[i].c_str(), "%ld %lf %lf", &n, &lat, &lon) == 3) found.push_back({lat, lon});
        }
        return found;
    };
    for (auto [lat, lon] : positions_of()) {
        bool at_a_project_thermal = false;
        for (const auto& t : p.thermals)
            at_a_project_thermal |= std::fabs(lat - t.latitude * 1e-5 * 0.0174532778) < 1e-6 &&
                                    std::fabs(lon - t.longitude * 1e-5 * 0.0174532778) < 1e-6;
        EXPECT_TRUE(at_a_project_thermal) << lat << ' ' << lon;
    }

    create_multiplayer_file(10 * 3600, 18 * 3600, 0, 0, 0, 0, 0, 14.615f, 0, 0);
    l = lines();
    int companions = 0;
    for (auto [lat, lon] : positions_of()) {
        double nearest = 1e9;
        for (const auto& t : p.thermals)
            nearest = std::min(nearest, distance_miles(t.latitude * 1e-5 * 0.0174533, t.longitude * 1e-5 * 0.0174533, lat, lon));
        if (nearest < 0.05) continue;  // a cycle of the project thermal itself
        ++companions;
        EXPECT_GE(nearest, 1.0 - 0.01);
        EXPECT_LE(nearest, 3.0 + 0.01);
    }
    EXPECT_GT(companions, 3);
}

// ---- loads -----------------------------------------------------------------------

// A file of the entries given, after a header like the program's.
void write_multi_file(const std::vector<std::string>& entries) {
    std::ofstream f(multi_file_name);
    f << "Warmfeld Project Map: (none used)\n\nStart Time: 10:00\nStop Time:  18:00\n\n"
         "Lift Ceiling (no cumulus):      6000 feet MSL\nWeak Surface Layer Height:      1000 feet AGL\n"
         "Thermal Lean Factor:            0.70\nWidespread Sink:                0 fpm\n"
         "Enable Scenery (BGL) Lift/Sink: 0\n\n[Inversion Layer Settings]\nPresent:                        0\n"
         "Thickness:                      not applicable\nPeak Strength Factor:           not applicable\n"
         "Distance Below Ceiling:         not applicable\n\n'Cheat Keys' Option:            2\n\n";
    for (const auto& e : entries) f << e << "\n";
}

// An entry `miles` north of 47 N 11 E.
std::string entry(int number, double miles, int group, unsigned start, unsigned duration) {
    char line[128];
    std::snprintf(line, sizeof line, "%05d %f %f %1.3f %1.1f %d %05u %04u", number, 47.0 * 0.0174533 + miles / 3956,
                  11.0 * 0.0174533, 0.5, 2.0, group, start, duration);
    return line;
}

class load_test : public multiplayer_test {
protected:
    void fly_at(const char* time) {
        open_link(std::string("time ") + time + "\nposition 47.0 11.0\naltitude 1500\nclouds 0 0\n");
        read_aircraft_position();
        program_mode = 1;
        read_multiplayer_header();
    }
    std::vector<int> ids() {
        std::vector<int> found;
        for (const auto& t : active_thermals) found.push_back(t.strength > 0 ? t.multi_id : -1);
        return found;
    }
};

TEST_F(load_test, nothing_before_the_first_start_and_nothing_that_ends_now) {
    write_multi_file({entry(0, 1, 0, 40000, 1000), entry(1, 2, 0, 43200, 600)});
    fly_at("11:00:00");  // 39600: before both
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{-1, -1, -1, -1, -1}));
    link_close();
    stop_server();
    fly_at("11:23:20");  // 41000: the first has just ended
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{-1, -1, -1, -1, -1}));
    EXPECT_EQ(lift_ceiling, 1828);  // 6000 feet from the header
}

TEST_F(load_test, nearest_first_in_each_group_and_never_beyond_100_miles) {
    write_multi_file({entry(0, 4, 0, 43000, 1800), entry(1, 2, 0, 43000, 1800), entry(2, 3, 0, 43000, 1800),
                      entry(3, 1, 0, 43000, 1800), entry(4, 120, 1, 43000, 1800), entry(5, 0.5, 1, 43100, 1800)});
    fly_at("12:00:00");
    load_multiplayer_thermals(1.0f);
    // Slot 4 still carries entry number 0 of the empty table, which slot 3
    // held before: the two are exchanged, as in every pilot's program.
    EXPECT_EQ(ids(), (std::vector<int>{3, 1, 2, -1, 5}));
    EXPECT_FLOAT_EQ(active_thermals[0].strength, 2.0f);
    EXPECT_EQ(active_thermals[0].top, 1828 + 54);
}

TEST_F(load_test, slots_3_and_4_keep_their_thermal_when_the_nearest_swap) {
    write_multi_file({entry(0, 1, 1, 43000, 1800), entry(1, 2, 1, 43000, 1800)});
    fly_at("12:00:00");
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{-1, -1, -1, 1, 0}));  // slot 3 took number 0 of the empty table's slot 4
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        sim::world.latitude_deg = 47.0 + 2.2 / 69.0;  // now nearer to the second
    }
    read_aircraft_position();
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{-1, -1, -1, 1, 0}));
}

// An entry whose numbers are impossible is dropped and the load reads on;
// a line that does not scan ends the load.
TEST_F(load_test, impossible_entries_are_dropped_and_a_line_that_does_not_scan_ends_the_load) {
    write_multi_file({entry(0, 1, 0, 43000, 1800), "00001 nan 0.19 0.5 2.0 0 43000 1800",
                      "00002 5.0 0.19 0.5 2.0 0 43000 1800", entry(3, 2, 0, 43000, 1800), "00004 0.82 0.19 0.5",
                      entry(5, 3, 0, 43000, 1800)});
    fly_at("12:00:00");
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{0, 3, -1, -1, -1}));
}

// Two pilots at one sim time meet the same thermals, however long one of
// them has been flying: a thermal that began more than 20 minutes ago and
// is still alive is not passed over by the loads after it.
TEST_F(load_test, a_pilot_flying_on_keeps_every_thermal_still_alive) {
    // 13:39:30 for 30 minutes, until 14:09:30; 13:30 for 10 minutes (over).
    write_multi_file({entry(0, 3, 0, 48600, 600), entry(1, 1, 0, 49170, 1800), entry(2, 2, 0, 49500, 1800)});
    fly_at("13:45:00");
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), (std::vector<int>{1, 2, -1, -1, -1}));
    for (int minute : {1, 2}) {
        {
            std::lock_guard<std::mutex> lock(sim::world_mutex);
            sim::world.time_of_day = 14 * 3600 + minute * 60;
        }
        load_multiplayer_thermals(1.0f);
    }
    std::vector<int> flying_on = ids();
    EXPECT_EQ(flying_on, (std::vector<int>{1, 2, -1, -1, -1}));
    multi_file_pos = 0;  // a pilot who starts now
    load_multiplayer_thermals(1.0f);
    EXPECT_EQ(ids(), flying_on);
    EXPECT_GT(multi_file_pos, 0);  // past the entry that is over
}

// The header line that holds `label`, replaced by `line`.
void change_header_line(const std::string& label, const std::string& line) {
    std::string text = read_file(multi_file_name);
    std::size_t at = text.find(label);
    text.replace(at, text.find('\n', at) - at, line);
    std::ofstream(multi_file_name) << text;
}

TEST_F(load_test, a_header_lean_factor_of_2_is_refused) {
    write_multi_file({});
    change_header_line("Thermal Lean Factor:", "Thermal Lean Factor:            2.00");
    fly_at("12:00:00");
    EXPECT_EQ(lean_factor, 70);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Thermal Lean Factor must be in the range 0.3-1.5.\n\nUsing program default value.");
    EXPECT_EQ(multi_start_minute, 600);
    EXPECT_EQ(multi_stop_minute, 1080);
}

// The header's values are taken as the file has them, whoever built it.
TEST_F(load_test, the_header_values_are_stored_as_written) {
    write_multi_file({});
    change_header_line("Widespread Sink:", "Widespread Sink:                -50 fpm");
    change_header_line("'Cheat Keys'", "'Cheat Keys' Option:            5");
    change_header_line("Present:", "Present:                        2");
    change_header_line("Thickness:", "Thickness:                      600 feet");
    change_header_line("Peak Strength", "Peak Strength Factor:           30 percent");
    change_header_line("Distance Below", "Distance Below Ceiling:         1000 feet");
    fly_at("12:00:00");
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(sink_setting, -50);
    EXPECT_FLOAT_EQ(sink_rate, 0.254f);
    EXPECT_EQ(cheat_keys_option, 5);
    EXPECT_EQ(inversion_strength, static_cast<float>(30 * 0.01));
    EXPECT_EQ(inversion_half_thickness, 91);
    EXPECT_EQ(inversion_altitude, 1828 - 305 - 91);
}

}  // namespace
