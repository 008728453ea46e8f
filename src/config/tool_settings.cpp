#include "config/tool_settings.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/messages.h"
#include "multiplayer/create_multi_file.h"
#include "terrain/slope_import.h"
#include "terrain/terrain_scan.h"
#include "thermals/geometry.h"

#include <cmath>

settings_tool_calls settings_tools = {create_multiplayer_file, import_slope_data, make_topo};

namespace {

constexpr const char* caption_setting_error = "'skv.ini' setting error...";
constexpr const char* caption_caution = "Caution: large area defined in 'skv.ini'";

struct tool_settings {
    bool error;
    int thermal_source;
    std::uint32_t start, stop;       // seconds since midnight
    float north, south, west, east;  // radians
    float north_south_miles, east_west_miles;
    int keep_elevation_file;
    float settle_seconds;
};

// A time of day written as hours, one separator character of any kind and
// minutes (10:30, 10-30), the minutes read past blanks as a scan's %d
// reads them (10: 30); false when it is not one or lies outside
// 0:00..23:59.
bool time_of_day(word_reader& r, std::uint32_t* seconds) {
    word_line line = read_words(r, 3);
    if (line.count < 3) return false;
    const std::string& word = line.word[2];
    std::size_t separator = word.find_first_not_of("0123456789", word[0] == '+' || word[0] == '-' ? 1 : 0);
    if (separator == std::string::npos) return false;
    int_value hours = parse_int(word.substr(0, separator));
    int_value minutes = separator + 1 < word.size() ? parse_int(word.substr(separator + 1)) : int_at(read_words(r, 1), 1);
    if (!hours.given() || !minutes.given() || hours.value < 0 || hours.value > 23 || minutes.value < 0 ||
        minutes.value > 59)
        return false;
    *seconds = static_cast<std::uint32_t>(hours.value * 3600 + minutes.value * 60);
    return true;
}

void read_soarable_period(word_reader& r, tool_settings& t) {
    int_value source = int_at(read_words(r, 4), 4);
    t.thermal_source = source.given() && source.value >= 0 && source.value <= 2 ? static_cast<int>(source.value) : 0;
    bool start_ok = time_of_day(r, &t.start);
    bool stop_ok = time_of_day(r, &t.stop);
    if (!start_ok)
        show_box(caption_setting_error, "'Soarable Period' start must be a time of day from 0:00 to 23:59.");
    if (!stop_ok)
        show_box(caption_setting_error, "'Soarable Period' stop must be a time of day from 0:00 to 23:59.");
    if (start_ok && stop_ok && t.stop < t.start)
        show_box(caption_setting_error, "'Soarable Period' stop cannot be before its start.");
    t.error |= !start_ok || !stop_ok || t.stop < t.start;
}

// One edge: accepted within +-limit degrees, snapped to 3 arc-seconds.
void read_edge(word_reader& r, float limit, const char* name, float* edge, tool_settings& t) {
    float_value degrees = float_at(read_words(r, 3), 3);
    if (degrees.given() && degrees.value >= -limit && degrees.value <= limit) {
        *edge = static_cast<float>(snap_to_3_arcseconds(degrees.value) * degrees_to_radians);
        return;
    }
    show_box(caption_setting_error, "'%s' outside acceptable range", name);
    t.error = true;
}

// Two edges that may not be equal. A refused edge stays 0, so two refused
// edges are also too near each other.
void read_edge_pair(word_reader& r, float limit, const char* first_name, float* first, const char* second_name,
                    float* second, tool_settings& t) {
    read_edge(r, limit, first_name, first, t);
    read_edge(r, limit, second_name, second, t);
    if (*first == *second) {
        show_box(caption_setting_error, "'%s' is too near '%s'.", first_name, second_name);
        t.error = true;
    }
}

void measure_area(tool_settings& t) {
    t.north_south_miles = static_cast<float>((t.north - t.south) * earth_radius_miles);
    double width = t.east - t.west;
    if (t.east < t.west) width += 6.28318;  // across the 180th meridian
    float middle = (t.north + t.south) / 2;
    t.east_west_miles = static_cast<float>(width * earth_radius_miles * std::cos(static_cast<double>(middle)));
    if (t.north_south_miles > 200)
        show_box(caption_caution, "'Northernmost Latitude' is %d miles north of 'Southernmost Latitude'.",
                 truncate_toward_zero(t.north_south_miles));
    if (t.east_west_miles > 200)
        show_box(caption_caution, "'Easternmost Longitude' is %d miles east of 'Westernmost Longitude'.",
                 truncate_toward_zero(t.east_west_miles));
}

void read_area(word_reader& r, tool_settings& t) {
    read_edge_pair(r, 90, "Northernmost Latitude", &t.north, "Southernmost Latitude", &t.south, t);
    read_edge_pair(r, 180, "Westernmost Longitude", &t.west, "Easternmost Longitude", &t.east, t);
    measure_area(t);
    int_value keep = int_at(read_words(r, 4), 4);
    t.keep_elevation_file = keep.given() && keep.value == 1 ? 1 : 0;
    int_value settle_ms = int_at(read_words(r, 5), 5);
    if (settle_ms.given() && settle_ms.value > 0) t.settle_seconds = static_cast<float>(static_cast<double>(settle_ms.value) * 0.001);
}

void report_tools_not_run() {
    const char* text = program_mode == 2 && topo_scan == 1
                           ? "Neither the SKV multi-player data file nor the SKV topo data file was created."
                       : program_mode == 2 ? "The SKV multi-player data file was not created."
                                           : "The SKV topo data file was not created.";
    show_box("Error(s) in 'skv.ini'", "%s", text);
}

void run_tools(const tool_settings& t, float coverage) {
    if (program_mode == 2)
        settings_tools.create_multiplayer_file(t.start, t.stop, t.thermal_source, t.north, t.south, t.west, t.east,
                                               coverage, t.north_south_miles, t.east_west_miles);
    if (topo_scan == 1) {
        settings_tools.import_slope_data();
        settings_tools.make_topo(t.north, t.south, t.west, t.east, t.keep_elevation_file, t.settle_seconds);
    }
}

}  // namespace

void read_tool_settings_and_run(word_reader& r, float coverage) {
    tool_settings t{};
    t.settle_seconds = 0.0000005f;
    if (program_mode == 2)
        read_soarable_period(r, t);
    else
        skip_line_and_next(r, 3);
    if (t.thermal_source == 2 || topo_scan == 1) read_area(r, t);
    if (t.error)
        report_tools_not_run();
    else
        run_tools(t, coverage);
}
