#include "mapping.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bridge {

namespace {

constexpr double metres_per_foot = 0.3048;
constexpr double metres_per_second_per_knot = 0.514444;

struct key_property {
    const char* path;
    std::uint8_t code;  // the hot key it stands for
};
const key_property keys[] = {
    {"/skarvo/keys/quit", 8},     {"/skarvo/keys/confirm", 123}, {"/skarvo/keys/finder-w", 87},
    {"/skarvo/keys/finder-e", 69}, {"/skarvo/keys/house-1", 49}, {"/skarvo/keys/house-2", 50},
    {"/skarvo/keys/house-3", 51},
};

enum value_index {
    latitude, longitude, altitude, ground, elapsed, day_seconds, frozen, wind_speed, wind_from, variation,
    cloud_elevation, cloud_coverage, ground_speed, track, updraft, heading, vertical_speed, first_key,
};

// Values a snapshot may lack (an empty answer): the flight goes on without them.
bool optional_value(int i) {
    return i == frozen || i == cloud_coverage || i == cloud_elevation || i == track || i == updraft || i == heading ||
           i == vertical_speed;
}

bool number(const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() && std::isfinite(*value);
}

bool truth(const std::string& text) { return text == "true" || text == "1"; }

bool overlaps(std::uint32_t offset, std::uint32_t n, std::uint32_t start, std::uint32_t bytes) {
    return offset < start + bytes && start < offset + n;
}

// Cumulus in FlightGear's coverage words: few and scattered clouds.
std::int16_t cloud_type_of(const std::string& coverage) {
    return coverage == "few" || coverage == "scattered" ? 9 : 4;
}

std::int16_t clamp16(double v) { return static_cast<std::int16_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v)))); }

// A text shown until the next one replaces it, equal to the one on the
// screen, changes nothing there: the scan's progress repeats itself at every
// point, and each text sent lands in FlightGear's message log.
std::string text_on_screen;

bool shows_a_new_text(const sim::world_state& w) {
    unsigned char seconds[2] = {};
    sim::read_offsets(0x32FA, 2, seconds);
    bool until_replaced = seconds[0] == 0 && seconds[1] == 0;
    if (until_replaced && w.last_text == text_on_screen) return false;
    text_on_screen = until_replaced ? w.last_text : std::string();
    return true;
}

std::string with_fixed_digits(double value, int digits) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

void keep_on_one_line(std::string& text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
}

// What the status window shows now, as sent last.
struct status_lines {
    bool sent = false;
    std::string attached, text, mps, knots;
};
status_lines status_sent;

}  // namespace

std::string formatted(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

std::vector<property_set> status_sets(bool attached, const sim::world_state& w) {
    status_lines now{true, attached ? "true" : "false", w.last_text,
                     with_fixed_digits(w.vertical_air_speed, 2),
                     with_fixed_digits(w.vertical_air_speed / metres_per_second_per_knot, 1)};
    keep_on_one_line(now.text);
    std::vector<property_set> sets;
    bool all = !status_sent.sent;
    if (all || now.attached != status_sent.attached) sets.push_back({"/skarvo/status/attached", now.attached});
    if (all || now.text != status_sent.text) sets.push_back({"/skarvo/status/last-text", now.text});
    if (all || now.mps != status_sent.mps) sets.push_back({"/skarvo/status/vertical-air-mps", now.mps});
    if (all || now.knots != status_sent.knots) sets.push_back({"/skarvo/status/vertical-air-kt", now.knots});
    status_sent = now;
    return sets;
}

std::int16_t ground_metres(double metres) { return clamp16(metres); }

bool moves_aircraft(std::uint32_t offset, std::uint32_t n) { return overlaps(offset, n, 0x0560, 0x0578 - 0x0560); }

bool completes_a_position(std::uint32_t offset, std::uint32_t n) {
    return overlaps(offset, n, 0x0560, 4) || overlaps(offset, n, 0x0568, 4);
}

const std::vector<std::string>& snapshot_paths() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> p = {
            "/position/latitude-deg",       "/position/longitude-deg",
            "/position/altitude-ft",        "/position/ground-elev-m",
            "/sim/time/elapsed-sec",        "/sim/time/local-day-seconds",
            "/sim/freeze/master",           "/environment/wind-speed-kt",
            "/environment/wind-from-heading-deg", "/environment/magnetic-variation-deg",
            "/environment/clouds/layer[0]/elevation-ft", "/environment/clouds/layer[0]/coverage",
            "/velocities/groundspeed-kt",   "/orientation/track-deg",
            "/environment/wind-from-down-fps",
            "/orientation/heading-deg",     "/velocities/vertical-speed-fps",
        };
        for (const auto& k : keys) p.push_back(k.path);
        return p;
    }();
    return paths;
}

bool take_snapshot(const std::vector<std::string>& v, sim::world_state& w, std::vector<property_set>* sets) {
    if (v.size() != snapshot_paths().size()) return false;
    double n[first_key] = {};
    for (int i = 0; i < first_key; ++i)
        if (!number(v[static_cast<std::size_t>(i)], &n[i]) && !optional_value(i)) return false;
    if (!w.slew) {
        w.latitude_deg = n[latitude];
        w.longitude_deg = n[longitude];
        w.altitude_m = n[altitude] * metres_per_foot;
    }
    if (!w.slew) w.ground_m = clamp16(n[ground]);  // in slew mode the probe's height for the point
    w.elapsed_seconds = n[elapsed];
    w.session_seconds = n[elapsed];  // the flight log and the record count FlightGear's time
    w.time_of_day = std::fmod(std::fmax(0.0, n[day_seconds]), 86400.0);
    w.paused = truth(v[frozen]) && !w.slew;
    w.wind_knots = n[wind_speed];
    w.wind_from_deg = n[wind_from];
    w.magnetic_variation_deg = n[variation];
    bool clouds = !v[cloud_coverage].empty() && v[cloud_coverage] != "clear" && n[cloud_elevation] > 0;
    w.cloud_altitude_m = clouds ? clamp16(n[cloud_elevation] * metres_per_foot) : 0;
    w.cloud_type = clouds ? cloud_type_of(v[cloud_coverage]) : 0;
    w.ground_speed_mps = n[ground_speed] * metres_per_second_per_knot;
    w.track_deg = n[track];
    // 0x3518 shows the vertical air written plus the scenery lift: what
    // FlightGear applies beyond our own write is its scenery lift.
    w.scenery_lift_mps = n[updraft] * metres_per_foot - w.vertical_air_speed;
    // What the soaring pilot reads off its instruments.
    w.glider.heading_deg = n[heading];
    w.glider.climb_mps = n[vertical_speed] * metres_per_foot;
    for (std::size_t k = 0; k < std::size(keys); ++k)
        if (truth(v[first_key + k])) {
            sim::press_hot_key(keys[k].code);
            sets->push_back({keys[k].path, "0"});
        }
    return true;
}

std::vector<property_set> sets_for_write(std::uint32_t offset, std::uint32_t n, const sim::world_state& w) {
    std::vector<property_set> sets;
    if (overlaps(offset, n, 0x3478, 8))
        sets.push_back({vertical_air_property, formatted(w.vertical_air_speed / metres_per_foot)});
    if (overlaps(offset, n, 0x32FA, 2) && shows_a_new_text(w)) sets.push_back({"/sim/messages/copilot", w.last_text});
    if (overlaps(offset, n, 0x05DC, 2)) sets.push_back({slew_hold_property, w.slew ? "true" : "false"});
    if (w.slew && moves_aircraft(offset, n)) {
        sets.push_back({"/position/latitude-deg", formatted(w.latitude_deg)});
        sets.push_back({"/position/longitude-deg", formatted(w.longitude_deg)});
        sets.push_back({"/position/altitude-ft", formatted(w.altitude_m / metres_per_foot)});
    }
    for (auto& s : sets) keep_on_one_line(s.value);
    return sets;
}

}  // namespace bridge
