// Building skv-multi.dat.
#include "multiplayer/create_multi_file.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/messages.h"
#include "driver/session.h"
#include "multiplayer/multi_file.h"
#include "thermals/geometry.h"
#include "thermals/generation.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <new>

build_timing last_build_timing{};

namespace {

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// One life of a thermal at a fixed position.
struct thermal_cycle {
    std::int32_t latitude, longitude;  // 1/100000 degree
    float radius;                      // miles
    float strength;                    // m/s before the time-of-day factor
    std::int16_t slot_group;           // 0: slots 0..2, 1: slots 3..4
    std::uint32_t start;               // seconds since midnight
    std::uint32_t duration;            // seconds
};

struct day_plan {
    std::uint32_t start, stop;  // the soarable period
    std::vector<thermal_cycle> cycles;
};

// Duration, radius, strength and group of a cycle, drawn in this order.
void draw_cycle(thermal_cycle& c) {
    c.duration = static_cast<std::uint32_t>(
        (round_half_away(shaped_random(0.1) * static_cast<float>(duration_span)) + static_cast<std::int32_t>(duration_min)) * 60);
    c.radius = skewed_random(0, radius_shape) * radius_span + radius_min;
    c.strength = static_cast<float>(strength_factor(c.radius) * thermal_strength);
    c.slot_group = rand01() <= 0.4 ? 1 : 0;
}

std::uint32_t day_length(const day_plan& d) { return d.stop - d.start + 1200; }

std::uint32_t whole_slots(std::uint32_t seconds, std::uint32_t slot) { return (seconds + slot - 1) / slot; }

// ---- thermals at random over the soarable area ---------------------------------

// Radians to 1/100000 degree, dividing by 3.14159 through its inverse. As
// in C, the whole numbers keep a float position (a latitude) in single
// precision and only the inverse of pi is a double; a position that is a
// double already (a longitude over a width that may have had 6.28318 added)
// is a double throughout.
std::int32_t hundred_thousandths_of_degrees(float radians) {
    float scaled = radians * 100000 * 180;
    return truncate_toward_zero(scaled * 0.31831015504887655);
}
std::int32_t hundred_thousandths_of_degrees(double radians) {
    return truncate_toward_zero(radians * 100000 * 180 * 0.31831015504887655);
}

bool plan_random(day_plan& d, float north, float south, float west, float east, float coverage, float ns, float ew) {
    auto per_slot = static_cast<std::uint64_t>(std::max(0.0, std::trunc(0.01 * (ns * ew) * coverage)));
    std::uint64_t capacity = whole_slots(day_length(d), 900) * per_slot;
    if (capacity == 0) {
        show_box("Error: No thermals to create.", "Increase size of 'soarable' area or thermal coverage.");
        return false;
    }
    d.cycles.resize(capacity);
    double width = east - west;
    if (width < 0) width += 6.28318;
    std::uint32_t spread = d.stop - d.start + duration_span * 60;
    for (thermal_cycle& c : d.cycles) {
        c.latitude = hundred_thousandths_of_degrees(south + rand01() * (north - south));
        c.longitude = hundred_thousandths_of_degrees(west + rand01() * width);
        if (c.longitude > 18000000) c.longitude -= 36000000;
        c.start = d.start - (duration_min + duration_span) * 60 +
                  static_cast<std::uint32_t>(round_half_away(rand01() * static_cast<float>(spread) / 60) * 60);
        draw_cycle(c);
    }
    return true;
}

// ---- thermals of the project file ------------------------------------------------

// The cycles of one thermal at a position: the first starts at `first`,
// each next one after the last and a pause, until one would start at or
// after the stop.
void add_cycles(day_plan& d, std::int32_t latitude, std::int32_t longitude, std::uint32_t first) {
    thermal_cycle c{latitude, longitude, 0, 0, 0, first, 0};
    draw_cycle(c);
    d.cycles.push_back(c);
    for (;;) {
        std::uint32_t next = c.start + c.duration +
                             static_cast<std::uint32_t>((round_half_away(rand01() * static_cast<float>(duration_span)) +
                                                         static_cast<std::int32_t>(duration_min)) * 60);
        if (next >= d.stop) return;
        c.start = next;
        draw_cycle(c);
        d.cycles.push_back(c);
    }
}

std::int32_t companion_position(double offset, std::int32_t project) {
    return truncate_toward_zero((offset + project * 0.00001 * 3.14159 / 180) * 57.295827908797776 * 100000);
}

void add_companion(day_plan& d, const project_thermal& t) {
    float distance = rand01() * 2 + 1;
    auto bearing = static_cast<float>(rand01() * 6.28);
    std::int32_t latitude = companion_position(north_offset(bearing, distance), t.latitude);
    std::int32_t longitude = companion_position(east_offset(bearing, distance), t.longitude);
    add_cycles(d, latitude, longitude, d.start - static_cast<std::uint32_t>(round_half_away(rand01() * 20) * 60));
}

bool plan_from_project(day_plan& d, bool with_companions, std::string* map_name) {
    std::FILE* f = std::fopen(project_file_name, "rb");
    if (!f) {
        show_box("Error opening file 'warmfeld.prj'...",
                 "SKV is in multi-player create mode, but the Warmfeld project file cannot be found.\n\nExiting...");
        return false;
    }
    project_file project = read_project_file(f);
    std::fclose(f);
    *map_name = project.map_name;
    std::uint64_t capacity = whole_slots(day_length(d), 1200) * project.thermals.size() * (with_companions ? 2 : 1);
    if (capacity == 0) {
        show_box("Error: No thermals to create.", "There are no thermals in 'warmfeld.prj'.");
        return false;
    }
    d.cycles.reserve(capacity);
    std::uint32_t longest = (duration_min + duration_span);
    for (const project_thermal& t : project.thermals) {
        add_cycles(d, t.latitude, t.longitude,
                   d.start - static_cast<std::uint32_t>(round_half_away(rand01() * static_cast<float>(longest)) * 60));
        if (with_companions) add_companion(d, t);
    }
    return true;
}

// ---- the file ------------------------------------------------------------------

std::int32_t tenths_of_feet(double metres) { return round_half_away(metres * 0.32808) * 10; }

// `map_name` is null when the thermals were not taken from a project file.
void write_header(std::FILE* f, const day_plan& d, const std::string* map_name) {
    std::fprintf(f, "Warmfeld Project Map: %s\n\n", map_name ? map_name->c_str() : "(none used)");
    std::fprintf(f, "Start Time: %02u:%02u\n", d.start / 3600, d.start / 60 % 60);
    std::fprintf(f, "Stop Time:  %02u:%02u\n\n", d.stop / 3600, d.stop / 60 % 60);
    if (lift_ceiling == 0) {
        lift_ceiling = 1829;
        show_box("'skv.ini' error...",
                 "Cannot create multi-player data file with 'Lift Ceiling...' = 0.\n\nchanging value to 6000 feet MSL");
    }
    std::fprintf(f, "Lift Ceiling (no cumulus):      %d feet MSL\n", tenths_of_feet(lift_ceiling));
    std::fprintf(f, "Weak Surface Layer Height:      %d feet AGL\n", tenths_of_feet(weak_layer_height));
    std::fprintf(f, "Thermal Lean Factor:            %d.%02d\n", lean_factor / 100, lean_factor % 100);
    std::fprintf(f, "Widespread Sink:                %d fpm\n", -round_half_away(sink_rate * 196.848));
    std::fprintf(f, "Enable Scenery (BGL) Lift/Sink: %d\n\n", scenery_lift_enabled == 1 ? 1 : 0);
    std::fprintf(f, "[Inversion Layer Settings]\n");
    bool present = inversion_strength > 0;
    std::fprintf(f, "Present:                        %d\n", present ? 1 : 0);
    if (present) {
        std::fprintf(f, "Thickness:                      %d feet\n", round_half_away(inversion_half_thickness * 2 * 3.2808));
        std::fprintf(f, "Peak Strength Factor:           %d percent\n", truncate_toward_zero(inversion_strength * 100));
        std::fprintf(f, "Distance Below Ceiling:         %d feet\n\n", round_half_away(inversion_altitude * 3.2808));
    } else {
        std::fprintf(f, "Thickness:                      not applicable\n");
        std::fprintf(f, "Peak Strength Factor:           not applicable\n");
        std::fprintf(f, "Distance Below Ceiling:         not applicable\n\n");
    }
    std::fprintf(f, "'Cheat Keys' Option:            %d\n\n", cheat_keys_option);
}

void write_entries(std::FILE* f, const day_plan& d) {
    auto radians = [](std::int32_t units) { return units * 0.00001 * 0.017453277777777776; };
    int number = 0;
    for (const thermal_cycle& c : d.cycles)
        std::fprintf(f, "%05d %f %f %1.3f %1.1f %d %05lu %04u\n", number++, radians(c.latitude),
                     radians(c.longitude), static_cast<double>(c.radius), static_cast<double>(c.strength),
                     c.slot_group, static_cast<unsigned long>(c.start), c.duration);
}

bool write_file(const day_plan& d, const std::string* map_name) {
    std::FILE* f = std::fopen(multi_file_name, "w");
    if (!f) {
        show_box("Error creating file 'skv-multi.dat'...",
                 "The multi-player data file 'skv-multi.dat' could not be created.");
        return false;
    }
    static char buffer[1 << 16];
    std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
    write_header(f, d, map_name);
    write_entries(f, d);
    bool written = !std::ferror(f);
    written = std::fclose(f) == 0 && written;
    if (!written)
        show_box("Error creating file 'skv-multi.dat'...", "The multi-player data file 'skv-multi.dat' could not be written whole.");
    return written;
}

// ---- reading the project file ------------------------------------------------------

bool read_integer(std::FILE* f, std::int64_t* value) {
    int c = std::fgetc(f);
    while (c != EOF && std::isspace(c)) c = std::fgetc(f);
    bool negative = c == '-';
    if (c == '-' || c == '+') c = std::fgetc(f);
    if (c == EOF || !std::isdigit(c)) return false;
    std::int64_t v = 0;  // held below 10^11: far beyond any position, never overflowing
    for (; c != EOF && std::isdigit(c); c = std::fgetc(f))
        if (v < 100000000000LL) v = v * 10 + (c - '0');
    if (c != EOF) std::ungetc(c, f);
    *value = negative ? -v : v;
    return true;
}

// A word of any length and the white space before it; false at the end
// of the file.
bool skip_word(std::FILE* f) {
    int c = std::fgetc(f);
    while (c != EOF && std::isspace(c)) c = std::fgetc(f);
    if (c == EOF) return false;
    while (c != EOF && !std::isspace(c)) c = std::fgetc(f);
    if (c != EOF) std::ungetc(c, f);
    return true;
}

// One separator between two fields: blanks around it, one other character.
bool read_separator(std::FILE* f) {
    int c = std::fgetc(f);
    while (c == ' ' || c == '\t') c = std::fgetc(f);
    return c != EOF && !std::isspace(c);
}

bool read_record(std::FILE* f, std::int64_t fields[13]) {
    for (int i = 0; i < 13; ++i)
        if ((i > 0 && !read_separator(f)) || !read_integer(f, &fields[i])) return false;
    return true;
}

bool fits(std::int64_t v) { return v >= -36000000 && v <= 36000000; }

}  // namespace

project_file read_project_file(std::FILE* f) {
    project_file p;
    for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f))
        if (c != '\r' && p.map_name.size() < project_name_length) p.map_name.push_back(static_cast<char>(c));
    for (int i = 0; i < 4; ++i)
        if (!skip_word(f)) return p;
    std::int64_t fields[13];
    while (read_record(f, fields))
        if (fields[2] == 4 && fits(fields[0]) && fits(fields[1]))
            p.thermals.push_back({static_cast<std::int32_t>(fields[0]), static_cast<std::int32_t>(fields[1])});
    return p;
}

void create_multiplayer_file(std::uint32_t start, std::uint32_t stop, int thermal_source, float north, float south,
                             float west, float east, float coverage, float north_south_miles, float east_west_miles) {
    initialise_session();
    day_plan d{start, stop, {}};
    std::string map_name;
    auto began = std::chrono::steady_clock::now();
    try {
        bool planned = thermal_source == 2
                           ? plan_random(d, north, south, west, east, coverage, north_south_miles, east_west_miles)
                           : plan_from_project(d, thermal_source == 0, &map_name);
        if (!planned) return;
    } catch (const std::bad_alloc&) {
        show_box("Error: Insufficient memory.",
                 thermal_source == 2 ? "Reduce size of 'soarable' area, thermal coverage, or 'soarable' duration; or close "
                                       "open programs, and try again."
                                     : "Reduce number of thermals in project file, reduce 'soarable' duration, or close "
                                       "open programs, and try again.");
        return;
    }
    last_build_timing.generation = seconds_since(began);
    began = std::chrono::steady_clock::now();
    std::stable_sort(d.cycles.begin(), d.cycles.end(),
                     [](const thermal_cycle& a, const thermal_cycle& b) { return a.start < b.start; });
    last_build_timing.sort = seconds_since(began);
    began = std::chrono::steady_clock::now();
    bool written = write_file(d, thermal_source == 2 ? nullptr : &map_name);
    last_build_timing.writing = seconds_since(began);
    if (!written) return;
    show_box("Multi-player data file built.", "You will find it in your Skarvo program folder.\n\nFile name: 'skv-multi.dat'.");
}
