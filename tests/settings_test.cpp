// Reading skv.ini: each validation with its message, the random ranges, the
// house thermals, the inversion layer's skips and the tool block.
#include "settings_support.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/session.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

// Lines of the shipped file, by their place in the layout.
enum line : int {
    house1_name = 2, house1_latitude = 3, house1_elevation = 5, house2_name = 7, house2_elevation = 10, house2_latitude = 8, house3_name = 12,
    house3_latitude = 13, ceiling = 18, weak_layer = 19, strength = 20, size = 21, duration = 22, coverage = 23,
    lean = 24, sink = 25, scenery = 26, likelihood = 28, thickness = 29, inversion_factor = 30, distance = 31,
    cheat_keys = 32, mode = 33, topo = 34, source = 36, start = 37, stop = 38, north = 39, south = 40, west = 41,
    east = 42, keep = 43, settle = 44, publish = 45,
};

class settings_test : public ::testing::Test {
protected:
    void SetUp() override { start_clean_settings(); }
    void TearDown() override {
        stop_catching();
        reset_settings();
        reset_thermal_state();
    }
    void read(const std::vector<std::pair<int, std::string>>& changes) {
        read_settings_text(settings_with(changes));
        EXPECT_EQ(settings_invariant_failure(), "");
    }
    void expect_one_box(const std::string& caption, const std::string& text) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].text, text);
    }
};

TEST_F(settings_test, the_shipped_file_reads_without_a_message) {
    seed_random(5);
    read({});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(lift_ceiling, 0);
    EXPECT_EQ(weak_layer_height, 304);
    EXPECT_GE(thermal_strength, 400 * 0.00508f);
    EXPECT_LE(thermal_strength, 800 * 0.00508f);
    EXPECT_FLOAT_EQ(radius_min, 2100 / 7040.0f);
    EXPECT_FLOAT_EQ(radius_span, 6000 / 7040.0f - 2100 / 7040.0f);
    EXPECT_EQ(duration_min, 15u);
    EXPECT_EQ(duration_span, 10u);
    EXPECT_FLOAT_EQ(field_radius, std::sqrt(159.2356687898089f / 15));
    EXPECT_EQ(lean_factor, 70);
    EXPECT_EQ(sink_setting, 1);
    EXPECT_EQ(sink_rate, 0.0f);
    EXPECT_EQ(cheat_keys_option, 2);
    EXPECT_EQ(program_mode, 0);
    EXPECT_EQ(topo_scan, 0);
    ASSERT_EQ(house_count, 2);
    EXPECT_STREQ(house_thermals[0].name, "Patscherkofel");
    EXPECT_NEAR(house_thermals[0].ground_lat, 47.2089 * 0.0174533, 1e-7);
    EXPECT_EQ(house_thermals[0].ground_elevation, round_half_away(6500 * 0.3048));
    EXPECT_STREQ(house_thermals[1].name, "Nordkette");
    EXPECT_TRUE(tool_calls.empty());
}

TEST_F(settings_test, a_missing_file_gives_one_box_and_the_defaults) {
    auto here = std::filesystem::current_path();
    auto empty = std::filesystem::temp_directory_path() / "skarvo-no-ini";
    std::filesystem::create_directories(empty);
    std::filesystem::current_path(empty);
    read_settings();
    std::filesystem::current_path(here);
    expect_one_box("'skv.ini' file error...", "File does not exist.\n\nUsing default settings.");
    EXPECT_EQ(house_count, 0);
    EXPECT_EQ(weak_layer_height, 305);
    EXPECT_EQ(sink_setting, 1);
    EXPECT_EQ(inversion_strength, 0.0f);
}

TEST_F(settings_test, lift_ceiling) {
    read({{ceiling, "Lift ceiling in feet above-sea-level: 3000 to 3000 (0 0 = auto)"}});
    EXPECT_EQ(lift_ceiling, 914);
    reset_settings();
    read({{ceiling, "Lift ceiling in feet above-sea-level: 5000 to 4000 (0 0 = auto)"}});
    EXPECT_EQ(lift_ceiling, 0);
    for (std::uint32_t seed = 1; seed < 100; ++seed) {
        seed_random(seed);
        read({{ceiling, "Lift ceiling in feet above-sea-level: 4000 to 6000 (0 0 = auto)"}});
        EXPECT_GE(lift_ceiling, 1219);
        EXPECT_LE(lift_ceiling, 1828);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(settings_test, weak_layer_out_of_range_or_unreadable_becomes_1000_feet) {
    read({{weak_layer, "Weak surface layer height: 5000 feet above-ground"}});
    expect_one_box("Error in 'skv.ini'", "Illegal value (5000) for 'Weak Surface Layer Height'.\nUsing default value of 1000.");
    EXPECT_EQ(weak_layer_height, 304);
    boxes.clear();
    read({{weak_layer, "Weak surface layer height: lots feet above-ground"}});
    expect_one_box("Error in 'skv.ini'", "Illegal value (lots) for 'Weak Surface Layer Height'.\nUsing default value of 1000.");
    boxes.clear();
    read({{weak_layer, "Weak surface layer height: 0 feet above-ground"}});
    EXPECT_EQ(weak_layer_height, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(settings_test, word_positions_matter_not_labels) {
    read({{weak_layer, "Weak surface layer height is: 1000 feet above-ground"}});
    ASSERT_GE(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Illegal value (is:) for 'Weak Surface Layer Height'.\nUsing default value of 1000.");
}

TEST_F(settings_test, strength_and_size) {
    thermal_strength = 3.0f;
    read({{strength, "Thermal strength from 0 to 0 feet per minute"}});
    EXPECT_EQ(thermal_strength, 3.0f);
    read({{strength, "Thermal strength from 500 to 3001 feet per minute"}});
    EXPECT_EQ(thermal_strength, 3.0f);
    // A range below 0 fpm is taken; a draw of 0 fpm or less is 1 fpm.
    for (std::uint32_t seed = 1; seed < 50; ++seed) {
        seed_random(seed);
        float r = shaped_random(0.1f);
        int fpm = truncate_toward_zero(r * 600 + static_cast<float>(-100));
        seed_random(seed);
        read({{strength, "Thermal strength from -100 to 500 feet per minute"}});
        EXPECT_EQ(thermal_strength, static_cast<float>((fpm > 0 ? fpm : 1) * 0.00508)) << seed;
    }
    read({{strength, "Thermal strength from 500 to 500 feet per minute"}});
    EXPECT_FLOAT_EQ(thermal_strength, 2.54f);

    read({{size, "Thermal size from 1000 to 1000 feet (allowed 500-10000)"}});
    EXPECT_NEAR(radius_min, 0.142045, 1e-6);
    EXPECT_FLOAT_EQ(radius_span, 0.01f);
    reset_thermal_state();
    read({{size, "Thermal size from 400 to 1000 feet (allowed 500-10000)"}});
    EXPECT_FLOAT_EQ(radius_min, 0.3f);
    EXPECT_FLOAT_EQ(radius_span, 0.56f);
    EXPECT_TRUE(boxes.empty());
}

struct duration_case {
    const char* line;
    const char* message;  // nullptr: none
    std::uint32_t min, span;
};

class duration_test : public settings_test, public ::testing::WithParamInterface<duration_case> {};

TEST_P(duration_test, checked_in_order) {
    const duration_case& c = GetParam();
    read({{duration, c.line}});
    if (c.message)
        expect_one_box("'skv.ini' error...", c.message);
    else
        EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(duration_min, c.min);
    EXPECT_EQ(duration_span, c.span);
}

INSTANTIATE_TEST_SUITE_P(
    durations, duration_test,
    ::testing::Values(
        duration_case{"Thermal duration from 10 to 45 minutes (allowed 10-45)", nullptr, 10, 35},
        duration_case{"Thermal duration from 0 to 0 minutes (allowed 10-45)", nullptr, 15, 10},
        duration_case{"Thermal duration from 5 to 20 minutes (allowed 10-45)",
                      "Minimum 'Thermal Duration' cannot be less than 10 minutes.\n\nchanging range to 15-25 minutes", 15, 10},
        duration_case{"Thermal duration from 30 to 20 minutes (allowed 10-45)",
                      "'Thermal Duration' minimum cannot be greater than maximum.\n\nchanging range to 15-25 minutes", 15, 10},
        duration_case{"Thermal duration from 20 to 50 minutes (allowed 10-45)",
                      "Maximum 'Thermal Duration' cannot be greater than 45 minutes.\n\nchanging range to 15-25 minutes", 15, 10},
        duration_case{"Thermal duration from 20 to long minutes (allowed 10-45)",
                      "Maximum 'Thermal Duration' cannot be greater than 45 minutes.\n\nchanging range to 15-25 minutes", 15, 10}),
    [](const ::testing::TestParamInfo<duration_case>& p) { return "case_" + std::to_string(p.index); });

TEST_F(settings_test, lean_factor_limits) {
    struct {
        const char* value;
        int expected;
    } cases[] = {{"0.3", 30},   {"0.29", 70},  {"1.5", 150},  {"1.51", 70},   {"0.855", 86},
                 {"0.695", 70}, {"0.705", 71}, {"0.715", 72}, {"1.005", 101}, {"x", 70}};  // single precision
    for (auto c : cases) {
        reset_settings();
        read({{lean, std::string("Thermal lean factor ") + c.value}});
        EXPECT_EQ(lean_factor, c.expected) << c.value;
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(settings_test, widespread_sink_and_scenery_lift) {
    read({{sink, "Widespread sink: 150 (0 none, 1 auto, 2-200-fpm)"}});
    EXPECT_EQ(sink_setting, 150);
    EXPECT_NEAR(sink_rate, -0.761, 0.001);
    reset_settings();
    read({{sink, "Widespread sink: 0 (0 none, 1 auto, 2-200-fpm)"}});
    EXPECT_EQ(sink_setting, 0);
    EXPECT_EQ(sink_rate, 0.0f);
    read({{sink, "Widespread sink: 201 (0 none, 1 auto, 2-200-fpm)"}});
    expect_one_box("'skv.ini' error...",
                   "'Widespread Sink' cannot be negative or greater than 200.\n\nchanging value to 1 (automatic)");
    EXPECT_EQ(sink_setting, 1);

    boxes.clear();
    read({{scenery, "Enable scenery lift/sink (0/1): 1"}});
    EXPECT_EQ(scenery_lift_enabled, 1);
    reset_settings();
    read({{scenery, "Enable scenery lift/sink (0/1): 2"}});
    expect_one_box("'skv.ini' error...", "'Enable Scenery (BGL) Lift/Sink' must be 0 or 1.\n\nchanging value to 0 (no)");
    EXPECT_EQ(scenery_lift_enabled, 0);
}

TEST_F(settings_test, inversion_likelihood_decides_whether_its_lines_are_read) {
    const std::pair<int, std::string> after_the_block = {cheat_keys, "Thermal finder hot keys (0-2): 1"};
    read({{likelihood, "Likelihood: 0 percent each flight"}, after_the_block});
    EXPECT_EQ(inversion_strength, 0.0f);
    EXPECT_EQ(cheat_keys_option, 1);
    EXPECT_TRUE(boxes.empty());

    read({{likelihood, "Likelihood: 120 percent each flight"}, after_the_block});
    expect_one_box("'skv.ini' error...", "Inversion layer 'Likelihood' must be in the 0-100 range.\n\nchanging value to 0");
    EXPECT_EQ(inversion_strength, 0.0f);
    EXPECT_EQ(cheat_keys_option, 1);

    boxes.clear();
    read({{likelihood, "Likelihood: 100 percent each flight"},
          {thickness, "Thickness from 600 to 600 feet (500-3000 allowed)"},
          {inversion_factor, "Inversion strength factor: 30 percent (10-50, 0=random)"},
          {distance, "Distance below ceiling: 1500 to 1500 feet (500-3000 allowed)"},
          after_the_block});
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(inversion_half_thickness, 91);
    EXPECT_FLOAT_EQ(inversion_strength, 0.3f);
    EXPECT_EQ(inversion_altitude, 457);
    EXPECT_EQ(cheat_keys_option, 1);
}

TEST_F(settings_test, a_skipped_likelihood_line_may_hold_any_number_of_words) {
    read({{likelihood, "Likelihood: 0 percent each flight, whatever the weather says today"},
          {cheat_keys, "Thermal finder hot keys (0-2): 0"}});
    EXPECT_EQ(cheat_keys_option, 0);
    EXPECT_EQ(program_mode, 0);
}

struct range_case {
    const char* thickness;
    const char* message;  // nullptr: none
    int low_m, high_m;    // half thickness
};

class inversion_range_test : public settings_test, public ::testing::WithParamInterface<range_case> {};

TEST_P(inversion_range_test, thickness) {
    const range_case& c = GetParam();
    for (std::uint32_t seed = 1; seed < 30; ++seed) {
        seed_random(seed);
        boxes.clear();
        read({{likelihood, "Likelihood: 100 percent each flight"},
              {thickness, std::string("Thickness from ") + c.thickness + " feet (500-3000 allowed)"}});
        if (c.message)
            expect_one_box("'skv.ini' error...", c.message);
        else
            EXPECT_TRUE(boxes.empty());
        EXPECT_GE(inversion_half_thickness, c.low_m);
        EXPECT_LE(inversion_half_thickness, c.high_m);
        EXPECT_GE(inversion_altitude, 305);  // the shipped distance, 1000..2000 feet
        EXPECT_LE(inversion_altitude, 610);
    }
}

INSTANTIATE_TEST_SUITE_P(
    thicknesses, inversion_range_test,
    ::testing::Values(
        range_case{"0 to 0", nullptr, 76, 152},
        range_case{"600 to 600", nullptr, 91, 91},
        range_case{"1000 to 2000", nullptr, 152, 305},
        range_case{"400 to 800",
                   "Inversion layer 'Thickness' must be in the 500-3000 range.\n\nchanging to random value in the "
                   "default range (500-1000)",
                   76, 152},
        range_case{"4000 to 400",
                   "Inversion layer 'Thickness' minimum cannot be greater than maximum.\n\nchanging to random value "
                   "in the default range",
                   76, 152},
        range_case{"900 to 700",
                   "Inversion layer 'Thickness' minimum cannot be greater than maximum.\n\nchanging to random value "
                   "in the default range",
                   76, 152}),
    [](const ::testing::TestParamInfo<range_case>& p) { return "case_" + std::to_string(p.index); });

TEST_F(settings_test, inversion_strength_factor_and_distance_messages) {
    read({{likelihood, "Likelihood: 100 percent each flight"},
          {inversion_factor, "Inversion strength factor: 60 percent (10-50, 0=random)"},
          {distance, "Distance below ceiling: 100 to 2000 feet (500-3000 allowed)"}});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Inversion layer 'Strength Factor' must be in the 10-50 range.\n\nchanging to random value in this range");
    EXPECT_EQ(boxes[1].text,
              "Inversion layer 'Distance Below Ceiling' must be in the 500-3000 range.\n\nchanging to random value "
              "in the default range (1000-2000)");
    EXPECT_GE(inversion_strength, 0.1f);
    EXPECT_LE(inversion_strength, 0.5f);
}

// Percent times 0.01 and the random draws in the layer are taken in the
// precision their formulas give: 30 percent stays 30 when it is written back.
TEST_F(settings_test, inversion_values_in_the_precision_of_their_formulas) {
    read({{likelihood, "Likelihood: 100 percent each flight"}});
    EXPECT_EQ(inversion_strength, static_cast<float>(30 * 0.01));
    EXPECT_EQ(static_cast<int>(inversion_strength * 100.0), 30);

    // With no draw before it the distance takes the first: 6750 of 32767.
    reset_settings();
    seed_random(1621554753);
    read({{strength, "Thermal strength from 0 to 0 feet per minute"},
          {likelihood, "Likelihood: 100 percent each flight"},
          {thickness, "Thickness from 600 to 600 feet (500-3000 allowed)"},
          {distance, "Distance below ceiling: 0 to 0 feet (500-3000 allowed)"}});
    EXPECT_EQ(inversion_altitude, 368);  // 1000 + 1000 x 0.206 in single precision is 1206 feet, not 1205
}

TEST_F(settings_test, options_out_of_range_fall_back_silently) {
    read({{cheat_keys, "Thermal finder hot keys (0-2): 5"}, {mode, "Program mode: 3"}, {topo, "Run terrain scan: 2"}});
    EXPECT_EQ(cheat_keys_option, 2);
    EXPECT_EQ(program_mode, 0);
    EXPECT_EQ(topo_scan, 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(settings_test, house_thermals_dropped_leave_no_gap) {
    read({{house1_latitude, "Latitude-in-degrees-(south-negative): 95"},
          {house3_name, "Name: Hafelekar"},
          {house3_latitude, "Latitude-in-degrees-(south-negative): 90.9"}});
    ASSERT_EQ(house_count, 2);
    EXPECT_STREQ(house_thermals[0].name, "Nordkette");
    EXPECT_STREQ(house_thermals[1].name, "Hafelekar");
    EXPECT_TRUE(boxes.empty());

    read({{mode, "Program mode: 1"}});
    EXPECT_EQ(house_count, 0);
}

TEST_F(settings_test, a_house_thermal_with_an_elevation_that_is_no_integer_stays_at_sea_level) {
    read({{house1_elevation, "Ground elevation-in-feet: 6500.5"}, {house2_elevation, "Ground elevation-in-feet: 6200ft"}});
    ASSERT_EQ(house_count, 2);
    EXPECT_EQ(house_thermals[0].ground_elevation, 0);
    EXPECT_EQ(house_thermals[1].ground_elevation, 0);
    EXPECT_TRUE(boxes.empty());
    read({{house1_elevation, "Ground elevation-in-feet: 9999999999"}});
    EXPECT_EQ(house_thermals[0].ground_elevation, 2147483647);
}

TEST_F(settings_test, a_house_thermal_name_longer_than_29_characters_is_cut) {
    read({{house1_name, "Name: Patscherkofel-Nordhang-Oberhalb-Igls"}});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "'skv.ini' error...");
    EXPECT_STREQ(house_thermals[0].name, "Patscherkofel-Nordhang-Oberha");
}

// ---- the tool block -------------------------------------------------------

TEST_F(settings_test, create_mode_gets_its_period_and_coverage) {
    read({{mode, "Program mode: 2"}, {coverage, "Thermal coverage: 4 per 100 square miles"}});
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(tool_calls.size(), 1u);
    EXPECT_EQ(tool_calls[0].tool, "create");
    const auto& n = tool_calls[0].numbers;
    EXPECT_EQ(n[0], 10 * 3600 + 30 * 60);
    EXPECT_EQ(n[1], 17 * 3600 + 30 * 60);
    EXPECT_EQ(n[2], 0);
    EXPECT_FLOAT_EQ(static_cast<float>(n[7]), 14.615f);
    EXPECT_FLOAT_EQ(field_radius, 3.3f);
    EXPECT_EQ(house_count, 0);
}

TEST_F(settings_test, both_tools_run_in_order_with_snapped_edges) {
    read({{mode, "Program mode: 2"}, {topo, "Run terrain scan: 1"}, {source, "Thermal source (0-2): 2"},
          {north, "Northernmost latitude: 45.12345"}, {keep, "Keep elevation file: 1"},
          {settle, "Settle time in milliseconds: 250"}});
    ASSERT_EQ(tool_calls.size(), 3u);
    EXPECT_EQ(tool_calls[0].tool, "create");
    EXPECT_EQ(tool_calls[1].tool, "import");
    EXPECT_EQ(tool_calls[2].tool, "topo");
    float snapped = static_cast<float>((45 + 7 / 60.0 + 24 / 3600.0) * 0.0174533);
    EXPECT_NEAR(tool_calls[2].numbers[0], snapped, 1e-6);
    EXPECT_EQ(tool_calls[2].numbers[4], 1);
    EXPECT_NEAR(tool_calls[2].numbers[5], 0.25, 1e-6);
    EXPECT_EQ(tool_calls[0].numbers[3], tool_calls[2].numbers[0]);
}

TEST_F(settings_test, the_terrain_scan_without_the_create_mode_skips_the_period_lines) {
    read({{topo, "Run terrain scan: 1"}, {start, "Soaring starts: nonsense"}});
    ASSERT_EQ(tool_calls.size(), 2u);
    EXPECT_EQ(tool_calls[1].tool, "topo");
    EXPECT_FLOAT_EQ(static_cast<float>(tool_calls[1].numbers[5]), 0.0000005f);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(settings_test, equal_edges_are_too_near_and_no_tool_runs) {
    read({{mode, "Program mode: 2"}, {source, "Thermal source (0-2): 2"}, {north, "Northernmost latitude: 45.0"},
          {south, "Southernmost latitude: 45.0"}});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "'skv.ini' setting error...");
    EXPECT_EQ(boxes[0].text, "'Northernmost Latitude' is too near 'Southernmost Latitude'.");
    EXPECT_EQ(boxes[1].caption, "Error(s) in 'skv.ini'");
    EXPECT_EQ(boxes[1].text, "The SKV multi-player data file was not created.");
    EXPECT_TRUE(tool_calls.empty());
}

// A refused edge stays 0: two refused edges are too near each other, and
// the size cautions still measure the area.
TEST_F(settings_test, a_bad_edge_stops_the_tools_asked_for) {
    auto texts = [] {
        std::vector<std::string> t;
        for (const auto& b : boxes) t.push_back(b.text);
        return t;
    };
    read({{mode, "Program mode: 2"}, {topo, "Run terrain scan: 1"}, {north, "Northernmost latitude: 95"},
          {south, "Southernmost latitude: -95"}});
    EXPECT_EQ(texts(), (std::vector<std::string>{
                           "'Northernmost Latitude' outside acceptable range",
                           "'Southernmost Latitude' outside acceptable range",
                           "'Northernmost Latitude' is too near 'Southernmost Latitude'.",
                           "Neither the SKV multi-player data file nor the SKV topo data file was created."}));
    EXPECT_TRUE(tool_calls.empty());
    boxes.clear();
    read({{topo, "Run terrain scan: 1"}, {north, "Northernmost latitude: 60"}, {south, "Southernmost latitude: 45"},
          {west, "Westernmost longitude: 500"}, {east, "Easternmost longitude: 7"}});
    EXPECT_EQ(texts(), (std::vector<std::string>{"'Westernmost Longitude' outside acceptable range",
                                                 "'Northernmost Latitude' is 1035 miles north of 'Southernmost Latitude'.",
                                                 "'Easternmost Longitude' is 294 miles east of 'Westernmost Longitude'.",
                                                 "The SKV topo data file was not created."}));
    EXPECT_TRUE(tool_calls.empty());
}

TEST_F(settings_test, large_areas_are_cautioned_and_the_date_line_is_crossed_the_short_way) {
    read({{topo, "Run terrain scan: 1"}, {north, "Northernmost latitude: 50.0"}, {south, "Southernmost latitude: 45.0"},
          {west, "Westernmost longitude: 179.5"}, {east, "Easternmost longitude: -179.5"}});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Caution: large area defined in 'skv.ini'");
    EXPECT_EQ(boxes[0].text, "'Northernmost Latitude' is 345 miles north of 'Southernmost Latitude'.");
    EXPECT_EQ(tool_calls.size(), 2u);
}

TEST_F(settings_test, a_soarable_period_outside_the_day_or_reversed_is_refused) {
    read({{mode, "Program mode: 2"}, {start, "Soaring starts: 25:00"}});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "'Soarable Period' start must be a time of day from 0:00 to 23:59.");
    EXPECT_EQ(boxes[1].text, "The SKV multi-player data file was not created.");
    boxes.clear();
    read({{mode, "Program mode: 2"}, {start, "Soaring starts: 16:00"}, {stop, "Soaring stops: 11.45"}});
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "'Soarable Period' stop cannot be before its start.");
    EXPECT_TRUE(tool_calls.empty());
    boxes.clear();
    read({{mode, "Program mode: 2"}, {start, "Soaring starts: 10-30"}, {stop, "Soaring stops: 17+05"}});
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(tool_calls.size(), 1u);
    EXPECT_EQ(tool_calls[0].numbers[0], 10 * 3600 + 30 * 60);
    EXPECT_EQ(tool_calls[0].numbers[1], 17 * 3600 + 5 * 60);
    // The minutes are read past blanks; the lines after are read as they stand.
    tool_calls.clear();
    read({{mode, "Program mode: 2"}, {source, "Thermal source (0-2): 2"}, {start, "Soaring starts: 10: 30"},
          {north, "Northernmost latitude: 47.1"}, {south, "Southernmost latitude: 47.0"},
          {west, "Westernmost longitude: 11.0"}, {east, "Easternmost longitude: 11.2"}});
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(tool_calls.size(), 1u);
    EXPECT_EQ(tool_calls[0].numbers[0], 10 * 3600 + 30 * 60);
    EXPECT_EQ(tool_calls[0].numbers[1], 17 * 3600 + 30 * 60);
    EXPECT_FLOAT_EQ(static_cast<float>(tool_calls[0].numbers[6]), static_cast<float>(11.2f * 0.0174533));
}

TEST_F(settings_test, a_file_that_ends_early_keeps_the_rest_at_its_defaults) {
    std::string text = settings_with({});
    read_settings_text(text.substr(0, text.find("Thermal strength")));
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(weak_layer_height, 304);
    EXPECT_EQ(duration_min, 15u);
    EXPECT_EQ(sink_setting, 1);
    EXPECT_EQ(inversion_strength, 0.0f);
    EXPECT_EQ(settings_invariant_failure(), "");
}

// ---- rounding ---------------------------------------------------------------

// The extension's line after the tool block, in every mode; files without
// it leave it off without a word.
TEST_F(settings_test, publishing_the_thermals_is_asked_for_in_a_line_after_the_tool_block) {
    read({});
    EXPECT_EQ(publish_thermals, 0);
    read({{publish, "Publish thermals for companion programs (0/1): 1"}});
    EXPECT_EQ(publish_thermals, 1);
    reset_settings();
    std::string without_line = settings_with({});
    read_settings_text(without_line.substr(0, without_line.find("Publish")));
    EXPECT_EQ(publish_thermals, 0);
    EXPECT_TRUE(boxes.empty());
    read({{mode, "Program mode: 2"}, {start, "Soaring starts: 10: 30"},
          {publish, "Publish thermals for companion programs (0/1): 1"}});
    EXPECT_EQ(publish_thermals, 1);
    ASSERT_EQ(tool_calls.size(), 1u);
    EXPECT_EQ(tool_calls[0].numbers[0], 10 * 3600 + 30 * 60);
    EXPECT_TRUE(boxes.empty());
    reset_settings();
    read({{publish, "Publish thermals for companion programs (0/1): yes"}});
    EXPECT_EQ(publish_thermals, 0);
    expect_one_box("'skv.ini' error...",
                   "'Publish thermals for companion programs' must be 0 or 1.\n\nchanging value to 0");
}

TEST(snap_to_3_arcseconds, nearest_three_seconds_within_the_minute) {
    EXPECT_NEAR(snap_to_3_arcseconds(45.12345f), 45 + 7 / 60.0 + 24 / 3600.0, 1e-5);
    EXPECT_NEAR(snap_to_3_arcseconds(-45.12345f), -(45 + 7 / 60.0 + 24 / 3600.0), 1e-5);
    EXPECT_NEAR(snap_to_3_arcseconds(10.0f + 59.0f / 60 + 59.0f / 3600), 11.0, 1e-5);  // 60 s: the next minute
    EXPECT_NEAR(snap_to_3_arcseconds(7.5f / 3600), 9.0 / 3600, 1e-6);                  // a half goes away from zero
    EXPECT_NEAR(snap_to_3_arcseconds(45.15625f), 45 + 9 / 60.0 + 24 / 3600.0, 1e-6);    // 22.5 s, exact in a float
    EXPECT_NEAR(snap_to_3_arcseconds(-45.15625f), -(45 + 9 / 60.0 + 24 / 3600.0), 1e-6);
}

}  // namespace
