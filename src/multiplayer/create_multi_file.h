// Building the shared thermal file skv-multi.dat: every thermal of a flying
// day, from the thermal-map project file warmfeld.prj or at random over an
// area and a time window, sorted by start time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Start and stop of the soarable period (seconds since midnight), the
// thermal source (0..2), the north, south, west and east edges (radians),
// the thermal coverage and the north-south and east-west extents (miles).
void create_multiplayer_file(std::uint32_t start, std::uint32_t stop, int thermal_source, float north, float south,
                             float west, float east, float coverage, float north_south_miles, float east_west_miles);

// How long the last build took in its three steps, seconds (for the
// benchmark).
struct build_timing {
    double generation, sort, writing;
};
extern build_timing last_build_timing;

constexpr const char* project_file_name = "warmfeld.prj";
constexpr std::size_t project_name_length = 31;  // longer names are cut

// What the thermal-map project file holds for us: its map's name and the
// positions (1/100000 degree) of its thermals (records of kind 4).
struct project_thermal {
    std::int32_t latitude, longitude;
};
struct project_file {
    std::string map_name;
    std::vector<project_thermal> thermals;
};

// Reads the project file; reading stops at the first record that does not
// parse.
project_file read_project_file(std::FILE* f);
