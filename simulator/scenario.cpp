#include "scenario.h"

#include "pilot.h"
#include "recorder.h"
#include "terrain.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace sim {

namespace {

enum class action { pause, unpause, wind, clock, move, key, scenery_lift, answer_delay, stop };

struct event {
    double at;
    action what;
    double a, b, c;  // the action's numbers
    bool has_c;
};

std::vector<event> events;
std::size_t next_event = 0;
bool stopped = false;
bool pilot_asked = false;
pilot_sight pilot_sight_given = pilot_sight::finder;
std::string scenario_folder;  // heights files are found beside the scenario

using words = std::vector<std::string>;

struct parse_error {
    std::string message;
};

double number(const std::string& word) {
    char* end = nullptr;
    double value = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0') throw parse_error{"\"" + word + "\" is not a number"};
    return value;
}

// "hh:mm" or "hh:mm:ss" as seconds since midnight.
double time_of_day(const std::string& word) {
    int h = 0, m = 0, s = 0;
    char tail = 0;
    int fields = std::sscanf(word.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail);
    if (fields < 2 || fields > 3 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59)
        throw parse_error{"\"" + word + "\" is not a time of day (hh:mm or hh:mm:ss)"};
    return h * 3600.0 + m * 60.0 + s;
}

void expect(const words& w, std::size_t from, std::size_t to) {
    if (w.size() < from || w.size() > to)
        throw parse_error{"\"" + w[0] + "\" takes " + std::to_string(from - 1) +
                          (to > from ? " to " + std::to_string(to - 1) : std::string()) + " values"};
}

double delay_ms(const std::string& word) {
    double delay = number(word);
    if (delay < 0 || delay > 60000) throw parse_error{"the answer delay is 0..60000 milliseconds"};
    return delay;
}

int key_code(const std::string& word) {
    static const struct {
        const char* name;
        int code;
    } names[] = {{"backspace", 8}, {"f12", 123}, {"w", 87}, {"e", 69}, {"1", 49}, {"2", 50}, {"3", 51}};
    for (const auto& n : names)
        if (word == n.name) return n.code;
    double code = number(word);
    if (code < 1 || code > 255) throw parse_error{"key code " + word + " is outside 1..255"};
    return static_cast<int>(code);
}

event parse_event(const words& w) {
    if (w.size() < 3) throw parse_error{"\"at\" needs a time and an action"};
    event e{number(w[1]), action::stop, 0, 0, 0, false};
    words rest(w.begin() + 2, w.end());
    const std::string& name = rest[0];
    if (name == "pause" || name == "unpause" || name == "stop") {
        expect(rest, 1, 1);
        e.what = name == "pause" ? action::pause : name == "unpause" ? action::unpause : action::stop;
    } else if (name == "wind") {
        expect(rest, 3, 3);
        e = {e.at, action::wind, number(rest[1]), number(rest[2]), 0, false};
    } else if (name == "clock") {
        expect(rest, 2, 2);
        e = {e.at, action::clock, time_of_day(rest[1]), 0, 0, false};
    } else if (name == "move") {
        expect(rest, 3, 4);
        e = {e.at, action::move, number(rest[1]), number(rest[2]), rest.size() > 3 ? number(rest[3]) : 0,
             rest.size() > 3};
    } else if (name == "scenery-lift") {
        expect(rest, 2, 2);
        e = {e.at, action::scenery_lift, number(rest[1]), 0, 0, false};
    } else if (name == "answer-delay") {
        expect(rest, 2, 2);
        e = {e.at, action::answer_delay, delay_ms(rest[1]), 0, 0, false};
    } else if (name == "key") {
        expect(rest, 2, 2);
        e = {e.at, action::key, static_cast<double>(key_code(rest[1])), 0, 0, false};
    } else {
        throw parse_error{"unknown event \"" + name + "\""};
    }
    return e;
}

void set_date(const std::string& word) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(word.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3 || m < 1 || m > 12 || d < 1 || d > 31)
        throw parse_error{"\"" + word + "\" is not a date (yyyy-mm-dd)"};
    world.year = y;
    world.month = m;
    world.day = d;
}

void set_clock(const words& w) {
    expect(w, 3, 3);
    if (w[1] == "lock-step") {
        world.mode = clock_mode::lock_step;
        world.step_seconds = number(w[2]);
        if (world.step_seconds <= 0) throw parse_error{"the lock-step must be more than 0 seconds"};
    } else if (w[1] == "real-time") {
        world.mode = clock_mode::real_time;
        world.rate = number(w[2]);
        if (world.rate <= 0) throw parse_error{"the real-time rate must be more than 0"};
    } else {
        throw parse_error{"clock is \"lock-step SECONDS\" or \"real-time RATE\""};
    }
}

bool yes_no(const std::string& word) {
    if (word == "yes") return true;
    if (word == "no") return false;
    throw parse_error{"expected yes or no, not \"" + word + "\""};
}

bool on_off(const std::string& word) {
    if (word == "on") return true;
    if (word == "off") return false;
    throw parse_error{"expected on or off, not \"" + word + "\""};
}

std::int16_t metres16(const std::string& word) {
    double value = number(word);
    if (value < -32768 || value > 32767) throw parse_error{word + " m is out of range"};
    return static_cast<std::int16_t>(value);
}

void apply_setting(const words& w) {
    const std::string& key = w[0];
    if (key == "date") { expect(w, 2, 2); set_date(w[1]); }
    else if (key == "time") { expect(w, 2, 2); world.time_of_day = time_of_day(w[1]); }
    else if (key == "position") { expect(w, 3, 3); world.latitude_deg = number(w[1]); world.longitude_deg = number(w[2]); }
    else if (key == "altitude") { expect(w, 2, 2); world.altitude_m = number(w[1]); }
    else if (key == "ground") { expect(w, 2, 2); world.ground_m = metres16(w[1]); }
    else if (key == "wind") { expect(w, 3, 3); world.wind_from_deg = number(w[1]); world.wind_knots = number(w[2]); }
    else if (key == "magnetic-variation") { expect(w, 2, 2); world.magnetic_variation_deg = number(w[1]); }
    else if (key == "wind-layer") { expect(w, 2, 2); world.wind_layer_top_m = metres16(w[1]); }
    else if (key == "clouds") { expect(w, 3, 3); world.cloud_altitude_m = metres16(w[1]); world.cloud_type = metres16(w[2]); }
    else if (key == "motion") { expect(w, 3, 3); world.ground_speed_mps = number(w[1]); world.track_deg = number(w[2]); }
    else if (key == "hotkey-slots") {
        expect(w, 2, 2);
        double free_slots = number(w[1]);
        if (free_slots < 0 || free_slots > hotkey_slot_total) throw parse_error{"free hot-key slots are 0..56"};
        world.free_hotkey_slots = static_cast<std::uint32_t>(free_slots);
        lay_out_hotkey_slots();
    }
    else if (key == "polar") {
        expect(w, 7, 7);
        world.glider.shape = polar_through(number(w[1]), number(w[2]), number(w[3]), number(w[4]), number(w[5]), number(w[6]));
        if (world.glider.shape.a <= 0) throw parse_error{"a polar must curve upwards (sink growing faster than speed)"};
    }
    else if (key == "controls") {
        expect(w, 4, 4);
        world.glider.flying = true;
        world.glider.airspeed_mps = number(w[1]) / 3.6;
        world.glider.heading_deg = number(w[2]);
        world.glider.bank_deg = number(w[3]);
        if (world.glider.airspeed_mps <= 0 || std::fabs(world.glider.bank_deg) > 60)
            throw parse_error{"controls are an airspeed above 0 km/h, a heading and a bank of at most 60 degrees"};
    }
    else if (key == "pilot") {
        expect(w, 2, 3);
        if (w[1] != "auto" || (w.size() == 3 && w[2] != "no-finder" && w[2] != "clouds"))
            throw parse_error{"the pilot is \"auto\", \"auto no-finder\" or \"auto clouds\""};
        pilot_asked = true;
        pilot_sight_given = w.size() == 2 ? pilot_sight::finder : w[2] == "clouds" ? pilot_sight::clouds : pilot_sight::lift_only;
    }
    else if (key == "task") {
        if (w.size() < 3 || w.size() % 2 == 0) throw parse_error{"a task is pairs of LAT LON"};
        for (std::size_t i = 1; i + 1 < w.size(); i += 2) add_turnpoint(number(w[i]), number(w[i + 1]));
    }
    else if (key == "terrain") {
        expect(w, 2, 2);
        std::string path = w[1][0] == '/' || scenario_folder.empty() ? w[1] : scenario_folder + "/" + w[1];
        std::string error;
        if (!load_height_grid(path, &error)) throw parse_error{error};
    }
    else if (key == "ridge") {
        expect(w, 7, 7);
        double length = number(w[4]), height = number(w[5]), width = number(w[6]);
        if (length < 0 || width <= 0) throw parse_error{"a ridge has a length of 0 m or more and a width above 0 m"};
        add_ridge(number(w[1]), number(w[2]), number(w[3]), length, height, width);
    }
    else if (key == "climb") { expect(w, 2, 2); world.climb = on_off(w[1]); }
    else if (key == "still-air-sink") { expect(w, 2, 2); world.still_air_sink_mps = number(w[1]); }
    else if (key == "scenery-lift") { expect(w, 2, 2); world.scenery_lift_mps = number(w[1]); }
    else if (key == "paused") { expect(w, 2, 2); world.paused = yes_no(w[1]); }
    else if (key == "clock") set_clock(w);
    else if (key == "fsuipc-version") { expect(w, 2, 2); world.fsuipc_version = static_cast<std::uint32_t>(std::strtoul(w[1].c_str(), nullptr, 0)); }
    else if (key == "sim-version") { expect(w, 2, 2); world.sim_version = static_cast<std::uint16_t>(number(w[1])); }
    else if (key == "answer-delay") {
        expect(w, 2, 2);
        world.answer_delay_ms = static_cast<std::uint32_t>(delay_ms(w[1]));
    }
    else throw parse_error{"unknown statement \"" + key + "\""};
}

words split(const std::string& line) {
    std::string text = line.substr(0, line.find('#'));
    std::istringstream in(text);
    words w;
    for (std::string word; in >> word;) w.push_back(word);
    return w;
}

std::string position_text(double lat, double lon) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f %.6f", lat, lon);
    return text;
}

void run(const event& e) {
    switch (e.what) {
    case action::pause:
        world.paused = true;
        report("pause", "simulator paused");
        break;
    case action::unpause:
        world.paused = false;
        report("unpause", "simulator running");
        break;
    case action::wind:
        world.wind_from_deg = e.a;
        world.wind_knots = e.b;
        report("wind", std::to_string(static_cast<int>(e.a)) + " degrees, " + std::to_string(static_cast<int>(e.b)) + " knots");
        break;
    case action::clock:
        world.time_of_day = e.a;
        report("clock", "set to " + clock_text());
        break;
    case action::move:
        world.latitude_deg = e.a;
        world.longitude_deg = e.b;
        if (e.has_c) world.altitude_m = e.c;
        report("move", position_text(e.a, e.b));
        break;
    case action::key: {
        int code = static_cast<int>(e.a);
        bool registered = press_hot_key(static_cast<std::uint8_t>(code));
        report("key", "TAB+" + std::to_string(code) + (registered ? " pressed" : " pressed, but no program registered it"));
        break;
    }
    case action::scenery_lift:
        world.scenery_lift_mps = e.a;
        report("scenery-lift", std::to_string(e.a) + " m/s");
        break;
    case action::answer_delay:
        world.answer_delay_ms = static_cast<std::uint32_t>(e.a);
        report("answer-delay", std::to_string(world.answer_delay_ms) + " ms");
        break;
    case action::stop:
        stopped = true;
        report("stop", "simulator stopping");
        break;
    }
}

}  // namespace

bool load_scenario_text(const std::string& text, std::string* error) {
    reset_world();
    events.clear();
    next_event = 0;
    stopped = false;
    pilot_asked = false;
    pilot_sight_given = pilot_sight::finder;
    std::istringstream in(text);
    int line_number = 0;
    for (std::string line; std::getline(in, line);) {
        ++line_number;
        words w = split(line);
        if (w.empty()) continue;
        try {
            if (w[0] == "at")
                events.push_back(parse_event(w));
            else
                apply_setting(w);
        } catch (const parse_error& e) {
            *error = "line " + std::to_string(line_number) + ": " + e.message;
            return false;
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const event& x, const event& y) { return x.at < y.at; });
    if (pilot_asked) {
        if (!world.glider.flying) world.glider.heading_deg = world.track_deg;
        start_pilot(pilot_sight_given);
    }
    return true;
}

bool load_scenario_file(const char* path, std::string* error) {
    std::string p = path;
    scenario_folder = p.find('/') == std::string::npos ? "" : p.substr(0, p.rfind('/'));
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = std::string("cannot open ") + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    bool loaded = load_scenario_text(text.str(), error);
    scenario_folder.clear();
    if (!loaded) {
        *error = std::string(path) + ", " + *error;
        return false;
    }
    return true;
}

void run_due_events() {
    while (!stopped && next_event < events.size() && events[next_event].at <= world.session_seconds)
        run(events[next_event++]);
}

bool scenario_stopped() { return stopped; }

}  // namespace sim
