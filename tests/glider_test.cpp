// The stand-in's glider and pilot and what the flight leaves behind: the
// polar and the turn, drift with the wind, the finder texts as the pilot
// reads them, the IGC log's record layout and a well-formed picture.
#include "flight_log.h"
#include "glider.h"
#include "pilot.h"
#include "scenario.h"
#include "world.h"

#include <gtest/gtest.h>

#include "process.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

constexpr double pi = 3.14159265358979323846;

void load(const std::string& scenario) {
    std::string error;
    ASSERT_TRUE(sim::load_scenario_text(scenario, &error)) << error;
}

TEST(glider, sink_at_the_polar_points_and_in_a_45_degree_turn) {
    sim::polar p = sim::standard_class_polar();
    EXPECT_NEAR(sim::sink_at(p, 80 / 3.6), 0.62, 1e-9);
    EXPECT_NEAR(sim::sink_at(p, 110 / 3.6), 0.85, 1e-9);
    EXPECT_NEAR(sim::sink_at(p, 160 / 3.6), 1.9, 1e-9);
    EXPECT_NEAR(sim::best_glide_speed(p) * 3.6, 94.0, 0.1);
    double v = 25.0;
    EXPECT_NEAR(sim::turning_sink(p, v, 45), sim::sink_at(p, v) / std::pow(std::sqrt(0.5), 1.5), 1e-9);
    EXPECT_NEAR(sim::turn_rate_deg(v, 45), 9.81 / v * 180 / pi, 1e-9);

    // Flown: a full circle at 45 degrees takes 360 / turn rate seconds.
    load("clock lock-step 0.1\ncontrols 90 0 45\naltitude 2000\nground 0\n");
    sim::advance_clock(10.0);
    EXPECT_NEAR(sim::world.glider.heading_deg, std::fmod(sim::turn_rate_deg(25.0, 45) * 10, 360), 1e-6);
    EXPECT_NEAR(sim::world.altitude_m, 2000 - 10 * sim::turning_sink(p, 25.0, 45), 1e-6);
}

TEST(glider, the_wind_carries_it_and_sets_track_and_ground_speed) {
    // North at 72 km/h (20 m/s) in a westerly of 20 m/s: north-east at 28.3 m/s.
    load("position 47 11\ncontrols 72 0 0\nwind 270 38.8769\n");
    sim::advance_clock(100.0);
    EXPECT_NEAR(sim::world.track_deg, 45.0, 0.01);
    EXPECT_NEAR(sim::world.ground_speed_mps, 20 * std::sqrt(2.0), 0.01);
    double north_m = (sim::world.latitude_deg - 47) * 1852 * 60;
    double east_m = (sim::world.longitude_deg - 11) * 1852 * 60 * std::cos(47 * pi / 180);
    EXPECT_NEAR(north_m, 2000, 1);
    EXPECT_NEAR(east_m, 2000, 5);
}

TEST(glider, touching_the_ground_ends_the_flight) {
    load("altitude 100\nground 90\ncontrols 90 0 0\n");
    sim::advance_clock(60.0);
    EXPECT_TRUE(sim::world.glider.landed);
    EXPECT_EQ(sim::world.altitude_m, 90);
}

TEST(pilot, reads_every_finder_text) {
    using a = sim::finder_answer;
    struct {
        const char* text;
        a::kind_of_answer kind;
        double miles;
        int bearing;
        const char* name;
    } cases[] = {
        {"thermal is 3.0 mile(s) away, bearing 0", a::hint, 3.0, 0, ""},
        {"thermal is 10.0 mile(s) away, bearing 360", a::hint, 10.0, 360, ""},
        {"Nordkette house thermal is 25.4 mile(s) away, bearing 45", a::hint, 25.4, 45, "Nordkette"},
        {"You're in it.  Now find the core.", a::in_it, 0, 0, ""},
        {"Don't expect much thermal lift this high.", a::too_high, 0, 0, ""},
        {"Don't expect much lift at this time of day.", a::too_weak, 0, 0, ""},
        {"If there's a thermal nearby, it must be too weak to see.", a::too_weak, 0, 0, ""},
        {"skv-multi.dat has no lift this early.", a::too_weak, 0, 0, ""},
        {"skv-multi.dat has no lift this late.", a::too_weak, 0, 0, ""},
        {"I don't see it...", a::out_of_sight, 0, 0, ""},
        {"'Cheat keys' are disabled in skv.ini.", a::not_available, 0, 0, ""},
        {"this house thermal not defined in 'skv.ini'", a::not_available, 0, 0, ""},
        {"House thermals are not available in multi-player mode", a::not_available, 0, 0, ""},
        {"Skarvo 2004 is still running.", a::not_finder, 0, 0, ""},
    };
    for (const auto& c : cases) {
        a got = sim::parse_finder_text(c.text);
        EXPECT_EQ(got.kind, c.kind) << c.text;
        EXPECT_DOUBLE_EQ(got.miles, c.miles) << c.text;
        EXPECT_EQ(got.bearing, c.bearing) << c.text;
        EXPECT_EQ(got.name, c.name) << c.text;
    }
}

// A ridge's lift lies over its face: along a task's leg in a crosswind the
// pilot keeps to the line between the turnpoints, not drifting downwind of
// it while it aims at the next one.
TEST(pilot, keeps_to_a_legs_line_in_a_crosswind) {
    load("clock lock-step 0.1\nposition 47 11\naltitude 2000\nground 0\nwind 90 20\n"
         "task 47 11 47.05 11 47.1 11.05\npilot auto no-finder\n");
    const double east_m_per_degree = 1852 * 60 * std::cos(47 * pi / 180);
    double farthest_off_m = 0;
    for (int s = 0; s < 200; ++s) {
        sim::advance_clock(1.0);
        double north_m = (sim::world.latitude_deg - 47) * 1852 * 60;
        if (north_m > 1000 && north_m < 5000)
            farthest_off_m = std::fmax(farthest_off_m, std::fabs(sim::world.longitude_deg - 11) * east_m_per_degree);
    }
    EXPECT_GT((sim::world.latitude_deg - 47) * 1852 * 60, 4500);  // the leg flown
    EXPECT_LT(farthest_off_m, 60);
}

// ---- the flight log ----------------------------------------------------------

// A flight of two minutes south-west of the equator and the meridian, with
// a climb: negative coordinates and altitudes in the log.
sim::flight_log sample_flight() {
    sim::flight_log log;
    for (int s = 0; s < 120; ++s) {
        double lat = -0.5 - s * 1e-4, lon = -10.25 - s * 1e-4;
        double altitude = s < 60 ? -20.0 + s : -20.0 + 60 + (s - 60) * 2.0;
        log.fixes.push_back({double(s), 23 * 3600 + 59 * 60 + double(s), lat, lon, altitude, -30, s < 60 ? 0 : 2.5, s >= 60});
    }
    log.texts.push_back({3, "Skarvo 2004 - version 3.2.  Initialization complete."});
    return log;
}

TEST(flight_log, igc_records_follow_the_layout) {
    std::istringstream in(sim::igc_text(sample_flight(), 2004, 7, 14));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        line.pop_back();
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u + 120u);
    EXPECT_EQ(lines[0].substr(0, 4), "AXSK");
    EXPECT_EQ(lines[1], "HFDTEDATE:140704,01");
    for (std::size_t i = 2; i < 8; ++i) EXPECT_EQ(lines[i][0], 'H') << lines[i];
    for (std::size_t i = 8; i < lines.size(); ++i) {
        const std::string& b = lines[i];
        ASSERT_EQ(b.size(), 35u) << b;
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b.substr(1, 6).find_first_not_of("0123456789"), std::string::npos) << b;
        EXPECT_EQ(b[14], 'S');
        EXPECT_EQ(b[23], 'W');
        EXPECT_EQ(b[24], 'A');
        EXPECT_EQ(b.substr(25, 5), b.substr(30, 5));
    }
    // 00:00:00 follows 23:59:59; -0.5 degrees is 0 degrees 30.000 minutes;
    // -10.25 degrees is 10 degrees 15.000 minutes; -20 m keeps its sign.
    EXPECT_EQ(lines[8], "B2359000030000S01015000WA-0020-0020");
    EXPECT_EQ(lines[8 + 60].substr(1, 6), "000000");
}

// Tags nest and close, attribute values are quoted: enough of XML to know
// that a reader will take the picture.
std::string xml_fault(const std::string& text) {
    std::vector<std::string> open;
    for (std::size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        std::size_t end = text.find('>', at);
        if (end == std::string::npos) return "a tag does not end";
        std::string tag = text.substr(at + 1, end - at - 1);
        if (tag.empty()) return "an empty tag";
        if (std::count(tag.begin(), tag.end(), '"') % 2 != 0) return "unbalanced quotes in <" + tag + ">";
        if (tag[0] == '?') continue;
        if (tag[0] == '/') {
            if (open.empty() || open.back() != tag.substr(1)) return "</" + tag.substr(1) + "> closes nothing open";
            open.pop_back();
        } else if (tag.back() != '/') {
            open.push_back(tag.substr(0, tag.find(' ')));
        }
    }
    return open.empty() ? "" : "<" + open.back() + "> is never closed";
}

TEST(flight_log, the_picture_is_well_formed_and_renders) {
    sim::flight_log log = sample_flight();
    std::vector<sim::climb> climbs = sim::climbs_of(log);
    ASSERT_EQ(climbs.size(), 1u);
    EXPECT_NEAR(climbs[0].rate(), 2.0, 1e-9);
    std::string svg = sim::svg_text(log);
    EXPECT_EQ(xml_fault(svg), "");
    EXPECT_EQ(xml_fault(sim::svg_text(sim::flight_log{})), "");
    EXPECT_NE(svg.find("+2.0 m/s"), std::string::npos);

    if (std::system("rsvg-convert --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "rsvg-convert is not installed";
    std::string folder = make_temp_folder("skarvo-svg");
    std::string svg_path = folder + "/flight.svg", png_path = folder + "/flight.png";
    std::ofstream(svg_path) << svg;
    EXPECT_EQ(std::system(("rsvg-convert -o " + png_path + " " + svg_path).c_str()), 0);
    EXPECT_GT(std::filesystem::file_size(png_path), 1000u);
    std::filesystem::remove_all(folder);
}

// The published thermals are kept when first seen and once a minute after,
// and each is drawn once, where it was strongest, inside the map; a flight
// without them draws none.
TEST(flight_log, each_published_thermal_is_drawn_once_where_it_was_strongest) {
    sim::reset_flight_log();
    for (int s = 0; s <= 150; ++s) {
        double strength = s < 100 ? 1.0 + s / 50.0 : 0.5;
        sim::log_thermals(s, {{7, 47.0, 11.0 + s * 1e-5, 2000, 800, strength}, {9, 47.1, 11.1, 1900, 600, 1.0}});
    }
    const sim::flight_log& log = sim::flight;
    ASSERT_EQ(log.thermals.size(), 6u);  // each at 0, 60 and 120 s
    EXPECT_EQ(log.thermals[2].seconds, 60);
    sim::flight_log with_track = sample_flight();
    std::string plain = sim::svg_text(with_track);
    with_track.thermals = log.thermals;
    std::string svg = sim::svg_text(with_track);
    EXPECT_EQ(xml_fault(svg), "");
    EXPECT_EQ(plain.find("#3c9a46"), std::string::npos);
    std::size_t circles = 0;
    for (std::size_t at = svg.find("<circle"); at != std::string::npos; at = svg.find("<circle", at + 1))
        circles += svg.compare(svg.find("fill=", at), 14, "fill=\"#3c9a46\"") == 0;
    EXPECT_EQ(circles, 3u);  // two thermals and the legend's
    EXPECT_NE(svg.find("fill-opacity=\"0.197\""), std::string::npos);  // thermal 7 at 2.2 m/s, its strongest (60 s)
    EXPECT_NE(svg.find("clip-path=\"url(#map)\""), std::string::npos);
    sim::reset_flight_log();
}

}  // namespace
