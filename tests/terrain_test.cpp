// Terrain and ridge lift: tile names, the ridge-lift table, the slope of a
// point, the terrain scan's files byte for byte, and the import of slope
// data files into tiles, merges and the archive. Each test works in a
// folder of its own, as the program works in its own folder.
#include "program_folder.h"

#include "config/rounding.h"
#include "driver/session.h"
#include "platform/platform.h"
#include "simlink/aircraft.h"
#include "terrain/ridge_lift.h"
#include "terrain/slope_import.h"
#include "terrain/terrain_scan.h"
#include "thermals/thermal_state.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string file_text(const fs::path& path) { return read_file(path.string()); }

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

using terrain_test = program_folder_test;

// ---- slope tiles and ridge lift ------------------------------------------------

TEST(slope_tile_name, southern_and_western_edges_of_the_cell) {
    EXPECT_EQ(slope_tile_name(45.25f, 6.5f), "N45.25E006.50.slo");
    EXPECT_EQ(slope_tile_name(-45.75f, -122.5f), "S45.75W122.50.slo");
    EXPECT_EQ(slope_tile_name(-0.25f, -180.0f), "S00.25W180.00.slo");
    EXPECT_EQ(slope_tile_name(0.0f, 0.0f), "N00.00E000.00.slo");
}

// A tile of one sample everywhere, for the cell with the edges given.
void write_tile(float south, float west, const std::string& sample, std::size_t length = tile_bytes) {
    fs::create_directories(slope_folder);
    std::string bytes;
    while (bytes.size() < length) bytes += sample;
    bytes.resize(length);
    write_text(fs::path(slope_folder) / slope_tile_name(south, west), bytes);
}

int sends = 0;
bool counting_send(platform_handle w, std::uint32_t m, std::uint32_t wp, std::uint32_t lp, std::uint32_t t,
                   std::int32_t* r) {
    ++sends;
    return platform_system_calls().send_message(w, m, wp, lp, t, r);
}

struct ridge_case {
    const char* what;
    const char* sample;       // aspect code, slope code
    std::int16_t wind_from;   // degrees
    std::int32_t above_ground;
    float expected;
};

class ridge_lift_test : public terrain_test, public ::testing::WithParamInterface<ridge_case> {};

TEST_P(ridge_lift_test, the_worked_examples) {
    const ridge_case& c = GetParam();
    open_link("position 45.3 6.6\nground 300\n");
    read_aircraft_position();
    write_tile(45.25f, 6.5f, c.sample);
    aircraft_altitude = 300 + c.above_ground;
    wind_speed = 10;
    wind_dir = c.wind_from;
    EXPECT_NEAR(ridge_lift(), c.expected, 1e-4) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    terrain, ridge_lift_test,
    ::testing::Values(ridge_case{"straight onto a north face", "05", 0, 100, 4.1037f},
                      ridge_case{"straight onto the lee side", "05", 180, 100, -1.9406f},
                      ridge_case{"60 degrees off the face", "05", 60, 0, 1.5454f},
                      ridge_case{"above the lift band", "05", 0, 600, 0.0f},
                      ridge_case{"wind from the west onto a west face", "c5", -90, 0, 4.9997f},
                      ridge_case{"flat ground", "00", 0, 0, 0.0f},
                      ridge_case{"a sample that is no hexadecimal", "zz", 0, 0, 0.0f}),
    [](const ::testing::TestParamInfo<ridge_case>& p) { return "case_" + std::to_string(p.index); });

TEST_F(terrain_test, no_tile_means_no_lift_and_no_link_traffic_and_a_short_tile_reads_as_flat) {
    open_link("position 45.6 -122.4\nground 0\n");
    read_aircraft_position();
    wind_speed = 10;
    platform_calls.send_message = counting_send;
    sends = 0;
    EXPECT_EQ(ridge_lift(), 0.0f);
    EXPECT_EQ(sends, 0);
    // 45.6 S lies in the cell with southern edge -45.75, row 180.
    write_tile(45.25f, -122.5f, "05");
    platform_restore_calls();
    link_close();
    stop_server();
    open_link("position -45.6 -122.4\nground 0\n");
    read_aircraft_position();
    write_tile(-45.75f, -122.5f, "05", 180 * tile_row_bytes + 2 * 120);  // ends just before the sample
    EXPECT_EQ(ridge_lift(), 0.0f);
    write_tile(-45.75f, -122.5f, "05");
    aircraft_altitude = 0;
    wind_dir = 0;
    EXPECT_NEAR(ridge_lift(), 4.9997f, 1e-4);
}

// ---- the slope of a point ------------------------------------------------------

TEST(slope_of, the_worked_examples) {
    struct {
        int north, south, east, west;
        int aspect, slope;
    } cases[] = {{0, 100, 0, 100, 2, 11}, {0, 100, 0, 0, 0, 8}, {0, 50, 0, 28, 1, 8},
                 {7, 7, 7, 7, 0, 0},      {0, 0, 100, 0, 12, 8},
                 {90, 0, 71, 0, 10, 11}};  // dy -90, dx -71: q and f from a double quotient, m 182
    for (auto c : cases) {
        slope_codes s = slope_of(c.north, c.south, c.east, c.west, 0.0f);
        EXPECT_EQ(s.aspect, c.aspect) << c.north << ' ' << c.south << ' ' << c.east << ' ' << c.west;
        EXPECT_EQ(s.slope, c.slope) << c.north << ' ' << c.south << ' ' << c.east << ' ' << c.west;
    }
}

// ---- the terrain scan --------------------------------------------------------------

// A height grid of the stand-in: `rows` x `columns` points a grid step
// apart from the south-west corner, each `height`(row, column) metres.
std::string height_grid(double south, double west, int rows, int columns, const std::function<int(int, int)>& height) {
    char header[160];
    std::snprintf(header, sizeof header, "south %.10f\nwest %.10f\nstep %.10f\nrows %d\ncolumns %d\n", south, west,
                  1 / 1200.0, rows, columns);
    std::string text = header;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) text += std::to_string(height(r, c)) + " ";
        text += "\n";
    }
    return text;
}

// Heights on the scan's own grid, falling 50 m a step to the north and to
// the east, near the equator, where a step east is as long as a step north
// (and near the meridian, where the degrees the scan works out from radians
// stay within a hundredth of a step of the grid).
std::string plane_grid(double south, double west) {
    return height_grid(south, west, 40, 40, [](int r, int c) { return 3000 - 50 * r - 50 * c; });
}

std::string header_text(float n, float s, float w, float e, int rows, int columns) {
    char text[400];
    std::snprintf(text, sizeof text,
                  "Northernmost Latitude: %3.4f\nSouthernmost Latitude: %3.4f\nWesternmost Longitude: %3.4f\n"
                  "Easternmost Longitude: %3.4f\n\nnumber of latitudes:   %d\nnumber of longitudes:  %d\n\n",
                  double(n), double(s), double(w), double(e), rows, columns);
    return text;
}

// The scan writes its headers in text mode: with the system's line ends.
std::string with_system_line_ends(const std::string& text) {
#if defined(_WIN32)
    std::string out;
    for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
#else
    return text;
#endif
}

TEST_F(terrain_test, a_scan_of_two_steps_each_way_samples_five_by_five_and_writes_three_by_three) {
    const double south = 0.5, west = 0.5;
    write_text(work / "grid.txt", plane_grid(south - 10 / 1200.0, west - 10 / 1200.0));
    load_scenario("terrain " + (work / "grid.txt").string() + "\nposition 0.5 0.5\n");
    start_server();
    fs::create_directory(import_folder);
    const float to_radians = 0.0174533f;
    float n = snap_to_3_arcseconds(float(south + 2 / 1200.0)), s = snap_to_3_arcseconds(float(south));
    float w = snap_to_3_arcseconds(float(west)), e = snap_to_3_arcseconds(float(west + 2 / 1200.0));
    make_topo(n * to_radians, s * to_radians, w * to_radians, e * to_radians, 1, 0.0000005f);

    // The widened area, as the scan computes it.
    const float step = 1.0f / 1200.0f;
    auto degrees = [](float radians) { return radians * 180.0f * (1.0f / 3.14159f); };
    float N = degrees(n * to_radians) + step, S = degrees(s * to_radians) - step, W = degrees(w * to_radians) - step,
          E = degrees(e * to_radians) + step;
    ASSERT_EQ(round_half_away((N - S) * 1200.0f) + 1, 5);
    EXPECT_FALSE(fs::exists("zig-zag.dat"));
    std::string elevations = file_text("skv-elev.dat");
    std::string expected_elevations = with_system_line_ends(header_text(N, S, W, E, 5, 5));
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            char record[8];
            std::snprintf(record, sizeof record, "%04d", 3000 - 50 * (9 + i) - 50 * (9 + j));
            expected_elevations += record;
        }
    EXPECT_EQ(elevations, expected_elevations);
    // Every inner point: dy = dx = 100 gives aspect 2, slope 11.
    std::string expected_slopes = with_system_line_ends(header_text(snap_to_3_arcseconds(N - step), snap_to_3_arcseconds(S + step),
                                              snap_to_3_arcseconds(W + step), snap_to_3_arcseconds(E - step), 3, 3));
    for (int i = 0; i < 9; ++i) expected_slopes += "2b";
    EXPECT_EQ(file_text(fs::path(import_folder) / "skv-slope.dat"), expected_slopes);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Moving to starting position...");
    EXPECT_EQ(boxes[1].caption, "Slope data file built.  Exiting...");
    EXPECT_EQ(boxes[1].text, "You will find it in your Skarvo 'Import' folder.\n\nFile name: 'skv-slope.dat'.");
    EXPECT_EQ(sim::world.last_text, "Skarvo has exited.");
    EXPECT_TRUE(sim::world.slew);
    std::int16_t ground = 0;
    EXPECT_FALSE(link_read(0x0B4C, 2, &ground, &link_result)) << "the scan leaves its link open";
    EXPECT_EQ(link_result, link_not_open);
}

// Radians to degrees as x * 180 * (1 / 3.14159), not times one folded
// constant: for this northern edge the header's last digit depends on it.
TEST_F(terrain_test, the_scan_grid_in_degrees_without_a_folded_constant) {
    load_scenario("position 45 0\n");
    start_server();
    const float north = 0x1.925ccp-1f;
    make_topo(north, north, 0, 0, 1, 0.0000005f);
    std::string elevations = file_text("skv-elev.dat");
    EXPECT_EQ(elevations.substr(0, elevations.find_first_of("\r\n")), "Northernmost Latitude: 45.0276");
}

// Ground falling to the east at 50 m a step, the same in every row.
std::string falling_east_grid(double south, double west) {
    return height_grid(south, west, 20, 40, [](int, int c) { return 3000 - 50 * c; });
}

// An area ending on the 180th meridian: the grid widened past it visits
// the points beyond at their longitudes east of -180, and every sample
// has the slope of the ground (east-facing, 100 m over two steps).
TEST_F(terrain_test, a_scan_ending_on_the_180th_meridian_samples_beyond_it) {
    write_text(work / "grid.txt", falling_east_grid(0.49, 180 - 20 / 1200.0));
    load_scenario("terrain " + (work / "grid.txt").string() + "\nposition 0.5 179.99\n");
    start_server();
    const float to_radians = 0.0174533f;
    float n = snap_to_3_arcseconds(float(0.5 + 2 / 1200.0)), s = snap_to_3_arcseconds(0.5f);
    float w = snap_to_3_arcseconds(float(180 - 2 / 1200.0)), e = snap_to_3_arcseconds(180.0f);
    make_topo(n * to_radians, s * to_radians, w * to_radians, e * to_radians, 0, 0.0000005f);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, "Slope data file built.  Exiting...");
    std::string slopes = file_text("skv-slope.dat");
    EXPECT_EQ(slopes.substr(slopes.size() - 18), std::string("484848484848484848"));
}

// A simulator busy for 20 s in the middle of a scan (nine sends of one
// ground read time out) loses that read only: it is read again, and every
// elevation is the ground of its point.
int ground_reads = 0;
bool in_the_middle_of_the_scan() { return ++ground_reads >= 12; }

TEST_F(terrain_test, a_read_lost_to_a_stalled_simulator_is_read_again) {
    write_text(work / "grid.txt", plane_grid(0.5 - 10 / 1200.0, 0.5 - 10 / 1200.0));
    load_scenario("terrain " + (work / "grid.txt").string() + "\nposition 0.5 0.5\n");
    start_server();
    const float to_radians = 0.0174533f;
    float n = snap_to_3_arcseconds(float(0.5 + 2 / 1200.0)), s = snap_to_3_arcseconds(0.5f);
    float w = snap_to_3_arcseconds(0.5f), e = snap_to_3_arcseconds(float(0.5 + 2 / 1200.0));
    ground_reads = 0;
    stall_read(0x0B4C, 2, send_attempts, in_the_middle_of_the_scan);
    make_topo(n * to_radians, s * to_radians, w * to_radians, e * to_radians, 1, 0.0000005f);
    EXPECT_EQ(stalled_read.sends_left, 0);
    std::string elevations = file_text("skv-elev.dat");
    std::string records = elevations.substr(elevations.size() - 100);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
            char record[8];
            std::snprintf(record, sizeof record, "%04d", 3000 - 50 * (9 + i) - 50 * (9 + j));
            EXPECT_EQ(records.substr(static_cast<std::size_t>(4 * (i * 5 + j)), 4), record) << i << ", " << j;
        }
    EXPECT_EQ(boxes.back().caption, "Slope data file built.  Exiting...");
}

// A slope data file that cannot be written is no success, and the scan's
// elevations stay.
TEST_F(terrain_test, a_slope_file_that_cannot_be_written_keeps_the_elevations) {
    load_scenario("position 45 0\n");
    start_server();
    fs::create_directories(fs::path(import_folder) / "skv-slope.dat");  // in the way of the file
    make_topo(0.7854f, 0.7854f, 0, 0, 0, 0.0000005f);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, "Slope data file not built.  Exiting...");
    EXPECT_EQ(boxes[1].text.substr(0, 45), "'Import/skv-slope.dat' could not be written: ");
    EXPECT_NE(boxes[1].text.find("kept in 'skv-elev.dat'"), std::string::npos);
    EXPECT_TRUE(fs::exists("skv-elev.dat"));
    EXPECT_FALSE(fs::exists("zig-zag.dat"));
}

#if !defined(_WIN32)
// The disk full when zig-zag.dat is closed (a small scan's records reach
// the disk only then): the scan did not finish, and says why, once.
TEST_F(terrain_test, a_zig_zag_file_that_cannot_be_closed_whole_ends_the_scan) {
    load_scenario("position 45 0\n");
    start_server();
    fs::create_symlink("/dev/full", "zig-zag.dat");
    make_topo(0.7854f, 0.7854f, 0, 0, 0, 0.0000005f);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, std::string("The terrain scan did not finish: 'zig-zag.dat' could not be written (") +
                                 std::strerror(ENOSPC) + ").\n\nThe SKV topo data file was not created.");
    EXPECT_FALSE(fs::exists("skv-elev.dat"));
}

// An Import folder that cannot be entered gets no slope file: it goes to
// the program's folder, and the box says so.
TEST_F(terrain_test, an_import_folder_that_cannot_be_entered_leaves_the_file_in_the_program_folder) {
    if (geteuid() == 0) GTEST_SKIP() << "run as root, every folder can be entered";
    load_scenario("position 45 0\n");
    start_server();
    fs::create_directory(import_folder);
    fs::permissions(import_folder, fs::perms::owner_read | fs::perms::owner_write);
    make_topo(0.7854f, 0.7854f, 0, 0, 0, 0.0000005f);
    fs::permissions(import_folder, fs::perms::owner_all);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "You will find it in your Skarvo program folder.\n\nFile name: 'skv-slope.dat'.");
    EXPECT_TRUE(fs::exists("skv-slope.dat"));
}
#endif

// ---- the import -------------------------------------------------------------------

// A slope data file over the area, each sample made by `sample`(row, column).
std::string slope_file(float north, float south, float west, float east,
                       const std::function<std::string(int, int)>& sample) {
    int rows = round_half_away((north - south) * 1200.0f) + 1;
    float width = east >= west ? east - west : east + 360.0f - west;
    int columns = round_half_away(width * 1200.0f) + 1;
    std::string text = header_text(north, south, west, east, rows, columns);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) text += sample(r, c);
    return text;
}

std::string sample_at(const std::string& tile, int row, int column) {
    return tile.substr(static_cast<std::size_t>(row * tile_row_bytes + column * 2), 2);
}

std::string hex_pair(int r, int c) {
    char s[3];
    std::snprintf(s, sizeof s, "%x%x", (r % 15) + 1, (c % 15) + 1);
    return s;
}

class import_test : public terrain_test {
protected:
    void SetUp() override {
        terrain_test::SetUp();
        fs::create_directories(archive_folder);
        fs::create_directories(slope_folder);
    }
    std::string tile(const char* name) { return file_text(fs::path(slope_folder) / name); }
};

TEST_F(import_test, a_new_tile_holds_the_window_and_an_existing_one_keeps_its_outside) {
    // Rows 12..47 and columns 30..89 of the cell 47.00 N 11.00 E.
    float south = 47.0f + 12 / 1200.0f, north = 47.0f + 47 / 1200.0f, west = 11.0f + 30 / 1200.0f,
          east = 11.0f + 89 / 1200.0f;
    write_text(fs::path(import_folder) / "skv-slope.dat", slope_file(north, south, west, east, hex_pair));
    import_slope_data();
    std::string t = tile("N47.00E011.00.slo");
    ASSERT_EQ(t.size(), static_cast<std::size_t>(tile_bytes));
    EXPECT_EQ(sample_at(t, 12, 30), hex_pair(0, 0));
    EXPECT_EQ(sample_at(t, 47, 89), hex_pair(35, 59));
    EXPECT_EQ(sample_at(t, 20, 50), hex_pair(8, 20));
    EXPECT_EQ(sample_at(t, 11, 30), "00");
    EXPECT_EQ(sample_at(t, 48, 89), "00");
    EXPECT_EQ(sample_at(t, 20, 90), "00");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Slope Data Import Successful");
    EXPECT_FALSE(fs::exists(fs::path(import_folder) / "skv-slope.dat"));
    EXPECT_TRUE(fs::exists(fs::path(archive_folder) / "skv-slope.dat"));

    write_tile(47.0f, 11.0f, "ff");
    write_text(fs::path(import_folder) / "skv-slope.dat", slope_file(north, south, west, east, hex_pair));
    import_slope_data();
    std::string merged = tile("N47.00E011.00.slo");
    ASSERT_EQ(merged.size(), static_cast<std::size_t>(tile_bytes));
    EXPECT_EQ(sample_at(merged, 20, 50), hex_pair(8, 20));
    EXPECT_EQ(sample_at(merged, 11, 30), "ff");
    EXPECT_EQ(sample_at(merged, 299, 299), "ff");
    EXPECT_TRUE(fs::exists(fs::path(archive_folder) / "skv-slope2.dat"));
    EXPECT_EQ(std::distance(fs::directory_iterator(slope_folder), fs::directory_iterator()), 1);  // no temporary left
}

TEST_F(import_test, the_same_file_twice_gives_the_same_tiles_and_numbered_archive_names) {
    auto source = slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair);
    for (const char* name : {"area.slope.dat", "area.slope.dat", "plain", "plain", "plain"})
        write_text(fs::path(import_folder) / name, source), import_slope_data();
    std::string first = tile("N47.00E011.25.slo");
    write_text(fs::path(import_folder) / "again", source);
    write_text(fs::path(slope_folder) / "temp.dat", "left over");  // from an interrupted run
    import_slope_data();
    EXPECT_EQ(tile("N47.00E011.25.slo"), first);
    EXPECT_EQ(file_text(fs::path(slope_folder) / "temp.dat"), "left over");
    for (const char* archived : {"area.slope.dat", "area2.slope.dat", "plain", "plain2", "plain3", "again"})
        EXPECT_TRUE(fs::exists(fs::path(archive_folder) / archived)) << archived;
}

TEST_F(import_test, files_that_are_not_slope_data_stay_in_import_with_one_box_each) {
    std::string good = slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair);
    std::string mismatched = good;
    mismatched.replace(mismatched.find("longitudes:  121"), 16, "longitudes:  120");
    const char* bad[][2] = {
        {"a-empty", ""},
        {"b-label", "Southernmost Latitude: 47.0\n"},
        {"c-reversed", "Northernmost Latitude: 47.0\nSouthernmost Latitude: 47.1\nWesternmost Longitude: 11.2\n"
                       "Easternmost Longitude: 11.3\n\nnumber of latitudes:   121\nnumber of longitudes:  121\n\n00"},
        {"d-nan", "Northernmost Latitude: nan\nSouthernmost Latitude: 47.0\nWesternmost Longitude: 11.2\n"
                  "Easternmost Longitude: 11.3\n\nnumber of latitudes:   121\nnumber of longitudes:  121\n\n00"},
        {"e-columns", mismatched.c_str()},  // rows shorter than the area is wide
    };
    for (auto& b : bad) write_text(fs::path(import_folder) / b[0], b[1]);
    import_slope_data();
    ASSERT_EQ(boxes.size(), std::size(bad));
    for (std::size_t i = 0; i < std::size(bad); ++i) {
        EXPECT_EQ(boxes[i].caption, "Slope Data Import Failed");
        EXPECT_EQ(boxes[i].text,
                  std::string("The following is not a valid slope data file and will not be processed:\n\n") + bad[i][0]);
        EXPECT_TRUE(fs::exists(fs::path(import_folder) / bad[i][0]));
    }
    EXPECT_TRUE(fs::is_empty(slope_folder));
}

// A file cut short (a full disk during the scan, a broken copy) or one that
// claims more than it holds is not imported: no tile changes.
TEST_F(import_test, a_file_cut_short_is_not_imported_and_no_tile_changes) {
    write_tile(47.0f, 11.0f, "ff");
    std::string source = slope_file(47.0f + 10 / 1200.0f, 47.0f, 11.0f, 11.0f + 10 / 1200.0f, hex_pair);
    source.resize(source.size() - 2);  // the last sample
    write_text(fs::path(import_folder) / "a-short", source + "\n\n");
    write_text(fs::path(import_folder) / "b-world",
               "Northernmost Latitude: 89.0\nSouthernmost Latitude: -89.0\nWesternmost Longitude: -179.0\n"
               "Easternmost Longitude: 179.0\n\nnumber of latitudes:   213601\nnumber of longitudes:  429601\n\n00");
    import_slope_data();
    ASSERT_EQ(boxes.size(), 2u);
    for (const char* name : {"a-short", "b-world"}) {
        std::size_t i = name[0] - 'a';
        EXPECT_EQ(boxes[i].caption, "Slope Data Import Failed");
        EXPECT_EQ(boxes[i].text, std::string("The following slope data file is cut short: it holds fewer samples than "
                                             "its area needs. It will not be processed:\n\n") + name);
        EXPECT_TRUE(fs::exists(fs::path(import_folder) / name));
    }
    EXPECT_EQ(tile("N47.00E011.00.slo"), std::string(tile_bytes, 'f'));
    EXPECT_EQ(std::distance(fs::directory_iterator(slope_folder), fs::directory_iterator()), 1);
}

// Files the format allows: an area over 4 degrees, a count of latitudes
// that is not used and disagrees, line ends after the data.
TEST_F(import_test, long_strips_unused_counts_and_trailing_line_ends_are_imported) {
    write_text(fs::path(import_folder) / "a-strip", slope_file(47.01f, 47.0f, 10.0f, 14.5f, hex_pair));
    std::string counted = slope_file(46.01f, 46.0f, 10.0f, 10.01f, hex_pair);
    counted.replace(counted.find("latitudes:   13"), 15, "latitudes:   7 ");
    write_text(fs::path(import_folder) / "b-counted", counted);
    write_text(fs::path(import_folder) / "c-line-ends", slope_file(45.01f, 45.0f, 10.0f, 10.01f, hex_pair) + "\r\n\n\n");
    import_slope_data();
    ASSERT_EQ(boxes.size(), 3u);
    for (const auto& b : boxes) EXPECT_EQ(b.caption, "Slope Data Import Successful") << b.text;
    EXPECT_EQ(sample_at(tile("N47.00E014.25.slo"), 12, 299), hex_pair(12, 5399));
    EXPECT_EQ(sample_at(tile("N47.00E014.50.slo"), 12, 0), hex_pair(12, 5400));
    EXPECT_EQ(sample_at(tile("N46.00E010.00.slo"), 12, 12), hex_pair(12, 12));
    EXPECT_EQ(sample_at(tile("N45.00E010.00.slo"), 12, 12), hex_pair(12, 12));
    EXPECT_EQ(sample_at(tile("N45.00E010.00.slo"), 12, 13), "00");
}

TEST_F(import_test, across_the_0_meridian_nine_cell_columns) {
    write_text(fs::path(import_folder) / "wide", slope_file(47.01f, 47.0f, -1.0f, 1.0f, hex_pair));
    import_slope_data();
    int tiles = 0;
    for (const auto& e : fs::directory_iterator(slope_folder)) tiles += e.path().extension() == ".slo";
    EXPECT_EQ(tiles, 9);
    EXPECT_TRUE(fs::exists(fs::path(slope_folder) / "N47.00W001.00.slo"));
    EXPECT_TRUE(fs::exists(fs::path(slope_folder) / "N47.00E001.00.slo"));
    EXPECT_EQ(sample_at(tile("N47.00W001.00.slo"), 0, 0), hex_pair(0, 0));
    EXPECT_EQ(sample_at(tile("N47.00E000.00.slo"), 0, 0), hex_pair(0, 1200));
}

TEST_F(import_test, across_the_180th_meridian_both_sides_get_their_data_under_the_lookups_names) {
    write_text(fs::path(import_folder) / "dateline", slope_file(10.01f, 10.0f, 179.9f, -179.9f, hex_pair));
    import_slope_data();
    std::string east_of = tile("N10.00W180.00.slo");
    ASSERT_EQ(east_of.size(), static_cast<std::size_t>(tile_bytes));
    EXPECT_EQ(sample_at(east_of, 0, 0), hex_pair(0, 120));
    EXPECT_EQ(sample_at(tile("N10.00E179.75.slo"), 0, 180), hex_pair(0, 0));
    EXPECT_FALSE(fs::exists(fs::path(slope_folder) / "N10.00E180.00.slo"));
}

// Areas that begin or end exactly on the 180th meridian meet the tile there
// (W180.00) in its own columns; what they do not cover keeps its samples.
TEST_F(import_test, areas_ending_on_the_180th_meridian_fill_only_their_columns_of_its_tile) {
    write_tile(10.0f, -180.0f, "ff");
    write_text(fs::path(import_folder) / "a-from-180", slope_file(10.01f, 10.0f, -180.0f, -179.9f, hex_pair));
    import_slope_data();
    std::string t = tile("N10.00W180.00.slo");
    EXPECT_EQ(sample_at(t, 0, 0), hex_pair(0, 0));
    EXPECT_EQ(sample_at(t, 12, 120), hex_pair(12, 120));
    EXPECT_EQ(sample_at(t, 12, 121), "ff");

    write_tile(10.0f, -180.0f, "ff");
    write_text(fs::path(import_folder) / "b-to-180", slope_file(10.01f, 10.0f, 179.9f, 180.0f, hex_pair));
    import_slope_data();
    t = tile("N10.00W180.00.slo");
    EXPECT_EQ(sample_at(t, 12, 0), hex_pair(12, 120));
    EXPECT_EQ(sample_at(t, 12, 1), "ff");
    EXPECT_EQ(sample_at(t, 12, 299), "ff");
    EXPECT_EQ(sample_at(tile("N10.00E179.75.slo"), 12, 299), hex_pair(12, 119));
    EXPECT_FALSE(fs::exists(fs::path(slope_folder) / "N10.00E180.00.slo"));
    EXPECT_EQ(boxes.size(), 2u);
}

// A slope data file imported whole but not copied into the archive stays
// in "Import", and the box says so at every start.
TEST_F(import_test, an_archive_copy_that_cannot_be_made_is_said_and_the_file_stays) {
    fs::remove_all(archive_folder);
    write_text(archive_folder, "a file where the folder should be");
    write_text(fs::path(import_folder) / "area", slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair));
    for (int start = 1; start <= 2; ++start) {
        import_slope_data();
        ASSERT_EQ(boxes.size(), static_cast<std::size_t>(start));
        EXPECT_EQ(boxes.back().caption, "Slope Data Archive Error");
        EXPECT_EQ(boxes.back().text, "The following slope data file was imported, but it could not be copied into "
                                     "'Import/Archive'. It stays in 'Import':\n\narea");
    }
    EXPECT_TRUE(fs::exists(fs::path(import_folder) / "area"));
    EXPECT_EQ(sample_at(tile("N47.00E011.25.slo"), 0, 0), hex_pair(0, 60));
}

// The copy is made under a temporary name that nothing archived can have:
// an archived "area.part" stays as it was.
TEST_F(import_test, archiving_leaves_every_archived_file_as_it_was) {
    fs::create_directories(archive_folder);
    write_text(fs::path(archive_folder) / "area.part", "archived earlier");
    write_text(fs::path(import_folder) / "area", slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair));
    import_slope_data();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Slope Data Import Successful");
    EXPECT_EQ(file_text(fs::path(archive_folder) / "area.part"), "archived earlier");
    EXPECT_TRUE(fs::exists(fs::path(archive_folder) / "area"));
    EXPECT_EQ(std::distance(fs::directory_iterator(archive_folder), fs::directory_iterator()), 2);
}

// A scan does not overwrite a slope data file that the import kept in
// "Import": that one moves to a free name, and a box says so.
TEST_F(terrain_test, a_scan_moves_aside_the_slope_file_the_import_kept) {
    load_scenario("position 45 0\n");
    start_server();
    fs::create_directory(import_folder);
    write_text(fs::path(import_folder) / "skv-slope.dat", "kept by the import");
    make_topo(0.7854f, 0.7854f, 0, 0, 0, 0.0000005f);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].caption, "Slope data file kept");
    EXPECT_NE(boxes[1].text.find("'Import/skv-slope2.dat'"), std::string::npos);
    EXPECT_EQ(file_text(fs::path(import_folder) / "skv-slope2.dat"), "kept by the import");
    EXPECT_EQ(boxes[2].caption, "Slope data file built.  Exiting...");
    EXPECT_TRUE(fs::exists(fs::path(import_folder) / "skv-slope.dat"));
}

#if !defined(_WIN32)
// A name of 252 characters is archived: the temporary name is short.
TEST_F(import_test, a_file_of_a_long_name_is_archived) {
    std::string name(252, 'r');
    write_text(fs::path(import_folder) / name, slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair));
    import_slope_data();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Slope Data Import Successful");
    EXPECT_TRUE(fs::exists(fs::path(archive_folder) / name));
    EXPECT_FALSE(fs::exists(fs::path(import_folder) / name));
}

// A file that cannot leave a read-only "Import" is not archived again at
// every start: the copy is taken back and a box says why.
TEST_F(import_test, a_file_that_cannot_leave_import_takes_back_its_archive_copy) {
    if (geteuid() == 0) GTEST_SKIP() << "run as root, a read-only folder is written all the same";
    write_text(fs::path(import_folder) / "area", slope_file(47.1f, 47.0f, 11.2f, 11.3f, hex_pair));
    fs::create_directories(archive_folder);
    fs::permissions(import_folder, fs::perms::owner_read | fs::perms::owner_exec);
    import_slope_data();
    fs::permissions(import_folder, fs::perms::owner_all);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Slope Data Archive Error");
    EXPECT_NE(boxes[0].text.find(std::strerror(EACCES)), std::string::npos);
    EXPECT_TRUE(fs::exists(fs::path(import_folder) / "area"));
    EXPECT_EQ(std::distance(fs::directory_iterator(archive_folder), fs::directory_iterator()), 0);
}

// A tile that cannot be written (here: larger than the process may write)
// is reported with the reason of the failed write, even when the first box
// changes errno; the old tile stays and so does the file, to be imported
// again.
TEST_F(import_test, a_tile_that_cannot_be_written_is_reported_with_its_reason_and_the_file_stays) {
    write_tile(47.0f, 11.0f, "ff");
    write_text(fs::path(import_folder) / "area", slope_file(47.1f, 47.0f, 11.0f, 11.1f, hex_pair));
    platform_calls.message_box = [](const char* text, const char* caption) {
        boxes.push_back({caption, text});
        errno = ENOTTY;  // as the terminal test of a box on Linux does
    };
    rlimit unlimited{}, small{};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    small = unlimited;
    small.rlim_cur = tile_bytes / 2;
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    import_slope_data();
    setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, handler);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "fprintf() caused an error.");
    EXPECT_EQ(boxes[1].text, std::string("SKV error: ") + std::strerror(EFBIG));
    EXPECT_EQ(boxes[2].caption, "Slope Data Import Failed");
    EXPECT_EQ(tile("N47.00E011.00.slo"), std::string(tile_bytes, 'f'));
    EXPECT_EQ(std::distance(fs::directory_iterator(slope_folder), fs::directory_iterator()), 1);  // no temporary left
    EXPECT_TRUE(fs::exists(fs::path(import_folder) / "area"));
}
#endif

// The import of a whole degree (1201 x 1201 samples) and its merge into the
// tiles it made give the same tiles, byte for byte.
TEST_F(import_test, a_whole_degree_imported_again_merges_into_identical_tiles) {
    auto sample = [](int r, int c) { return hex_pair(r * 7 + c / 3, c * 5 + r / 11); };
    std::string source = slope_file(48.0f, 47.0f, 11.0f, 12.0f, sample);
    write_text(fs::path(import_folder) / "degree", source);
    import_slope_data();
    std::vector<std::pair<std::string, std::string>> first;
    for (const auto& e : fs::directory_iterator(slope_folder)) first.emplace_back(e.path().filename().string(), file_text(e.path()));
    ASSERT_EQ(first.size(), 25u);
    EXPECT_EQ(sample_at(tile("N47.75E011.75.slo"), 299, 299), sample(1199, 1199));
    EXPECT_EQ(sample_at(tile("N48.00E012.00.slo"), 0, 0), sample(1200, 1200));
    write_text(fs::path(import_folder) / "degree", source);
    import_slope_data();
    for (const auto& [name, bytes] : first) EXPECT_TRUE(tile(name.c_str()) == bytes) << name;
    EXPECT_TRUE(fs::exists(fs::path(archive_folder) / "degree2"));
}

}  // namespace
