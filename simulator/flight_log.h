// What a flight leaves behind: a fix every simulated second, the texts the
// program showed, and from them an IGC flight log, a picture of the flight
// (map and barogram, SVG) and a summary.
#pragma once

#include "thermal_clouds.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sim {

struct track_fix {
    double seconds;      // since the simulator started
    double time_of_day;  // local seconds since midnight
    double lat_deg, lon_deg;
    double altitude_m, ground_m;
    double vertical_air_mps;  // as the program last wrote it
    bool circling;
};

struct shown_text {
    double seconds;
    std::string text;
};

// A flight of a whole day at one fix a second, at most.
constexpr std::size_t most_fixes = 86400;

// Where a thermal the program published stood (its column at the top).
struct thermal_sighting {
    double seconds;
    std::uint32_t serial;
    double lat_deg, lon_deg, radius_m, strength_mps;
};

struct flight_log {
    std::vector<track_fix> fixes;
    std::vector<shown_text> texts;
    std::vector<thermal_sighting> thermals;
};

extern flight_log flight;

void reset_flight_log();
void log_fix(const track_fix& f);
void log_text(double seconds, const std::string& text);
// Keeps each published thermal when first seen and once a minute after.
void log_thermals(double seconds, const std::vector<published_column>& columns);

// A climb: a run of circling in which the glider rose.
struct climb {
    double lat_deg, lon_deg;  // the middle of the circles
    double gained_m, seconds;
    double rate() const { return seconds > 0 ? gained_m / seconds : 0; }
};
std::vector<climb> climbs_of(const flight_log& log);

// The IGC text of the flight: A and H records, then a B record per fix.
std::string igc_text(const flight_log& log, int year, int month, int day);

// The picture: the map of the track coloured by the vertical air over the
// thermals published during the flight (faint circles of their radius,
// darker the stronger), the climbs, a legend and a scale bar; under it the
// barogram.
std::string svg_text(const flight_log& log);

void print_summary(const flight_log& log, std::FILE* out);

// What a flight leaves behind, for the stand-in and the FlightGear bridge
// alike: the IGC log and the picture where paths are given (null: none),
// then, when `summary`, the summary on `out`. False when a file could not
// be written (said on standard error).
bool leave_flight_behind(const flight_log& log, const char* igc_path, const char* map_path, int year, int month,
                         int day, bool summary, std::FILE* out);

}  // namespace sim
