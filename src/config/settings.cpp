// The settings record, its built-in defaults, and the reading of skv.ini.
//
// skv.ini is a stream of words. Each setting is one line of a fixed number
// of words; the labels are skipped by position and the values taken from
// fixed word positions. A faulty value is replaced by a default or a random
// value, mostly with a message box, and reading goes on. A value word that
// does not parse counts as faulty; values missing because the file has
// ended keep their defaults without a message.
#include "config/settings.h"

#include "config/rounding.h"
#include "config/tool_settings.h"
#include "config/word_stream.h"
#include "driver/messages.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

std::int32_t lift_ceiling;
std::int32_t weak_layer_height;
std::uint32_t duration_min;
std::uint32_t duration_span;
std::int16_t lean_factor;
std::int16_t sink_setting;
float sink_rate;
std::int32_t scenery_lift_enabled;
float inversion_strength;
std::int32_t inversion_half_thickness;
std::int32_t inversion_altitude;
std::int16_t cheat_keys_option;
std::int16_t program_mode;
std::int16_t topo_scan;
std::int16_t publish_thermals;

void reset_settings() {
    lift_ceiling = 0;
    weak_layer_height = 305;
    duration_min = 15;
    duration_span = 10;
    lean_factor = 70;
    sink_setting = 1;
    sink_rate = 0.0f;
    scenery_lift_enabled = 0;
    inversion_strength = 0.0f;
    inversion_half_thickness = 0;
    inversion_altitude = 0;
    cheat_keys_option = 2;
    program_mode = 0;
    topo_scan = 0;
    publish_thermals = 0;
}

namespace {

const bool defaults_in_force = (reset_settings(), true);

constexpr const char* caption_value_error = "'skv.ini' error...";
constexpr float default_coverage = 14.615f;

bool absent(const int_value& v) { return v.state == word_state::absent; }

bool within(const int_value& v, std::int64_t low, std::int64_t high) {
    return v.given() && v.value >= low && v.value <= high;
}

// ---- house thermals ------------------------------------------------------

// An elevation that is not a plain integer keeps the default, 0 m.
void keep_house_thermal(const std::string& name, float latitude, float longitude, const int_value& feet) {
    house_thermal& h = house_thermals[house_count++];
    h = house_thermal{};
    if (name.size() >= sizeof h.name)
        show_box(caption_value_error,
               "House thermal name '%s' is longer than 29 characters.\n\nUsing '%.29s'.", name.c_str(), name.c_str());
    std::snprintf(h.name, sizeof h.name, "%s", name.c_str());
    h.ground_lat = latitude * degrees_to_radians;
    h.ground_lon = longitude * degrees_to_radians;
    if (feet.given()) h.ground_elevation = round_half_away(static_cast<double>(feet.value) * feet_to_metres);
}

void read_house_thermals(word_reader& r) {
    read_words(r, 2);
    for (int entry = 0; entry < house_slots; ++entry) {
        word_line name = read_words(r, 2);
        float_value latitude = float_at(read_words(r, 2), 2);
        float_value longitude = float_at(read_words(r, 2), 2);
        int_value feet = int_at(read_words(r, 3), 3);
        read_words(r, 4);
        bool valid = name.count == 2 && latitude.given() && longitude.given() &&
                     std::trunc(latitude.value) >= -90 && std::trunc(latitude.value) <= 90 &&
                     std::trunc(longitude.value) >= -180 && std::trunc(longitude.value) <= 180;
        if (valid) keep_house_thermal(name.word[1], latitude.value, longitude.value, feet);
    }
}

// ---- thermal settings ----------------------------------------------------

bool both_given(const int_value& a, const int_value& b) { return a.given() && b.given(); }
bool both_zero(const int_value& a, const int_value& b) { return both_given(a, b) && a.value == 0 && b.value == 0; }

// high - low of an ordered range as a float. The difference is formed
// without overflow for any two 64-bit values read.
float span_of(const int_value& low, const int_value& high) {
    return static_cast<float>(static_cast<std::uint64_t>(high.value) - static_cast<std::uint64_t>(low.value));
}

void read_lift_ceiling(word_reader& r) {
    word_line line = read_words(r, 12);
    int_value low = int_at(line, 6), high = int_at(line, 8);
    if (!both_given(low, high) || both_zero(low, high) || high.value < low.value) return;
    float random = shaped_random(0.1);
    lift_ceiling = truncate_toward_zero(random * span_of(low, high) * feet_to_metres +
                                        static_cast<double>(low.value) * feet_to_metres);
}

void read_weak_layer(word_reader& r) {
    int_value height = int_at(read_words(r, 7), 5);
    if (absent(height)) return;
    std::int64_t feet = height.value;
    if (!within(height, 0, 3000)) {
        // A word that is no number is shown as it was written.
        std::string shown = height.given() ? std::to_string(height.value) : height.word;
        show_box("Error in 'skv.ini'", "Illegal value (%s) for 'Weak Surface Layer Height'.\nUsing default value of 1000.",
                 shown.c_str());
        feet = 1000;
    }
    weak_layer_height = truncate_toward_zero(static_cast<double>(feet) * feet_to_metres);
}

// A range may reach below 0 fpm (a day that may have no lift). A draw of
// 0 fpm or less is taken as 1 fpm, the weakest thermal: thermals that sink
// would turn the automatic sink into widespread lift.
void read_strength(word_reader& r) {
    word_line line = read_words(r, 9);
    int_value low = int_at(line, 4), high = int_at(line, 6);
    if (!both_given(low, high) || both_zero(low, high) || high.value < low.value || high.value > 3000) return;
    float random = shaped_random(0.1);
    auto fpm = truncate_toward_zero(random * span_of(low, high) + static_cast<float>(low.value));
    if (fpm <= 0) fpm = 1;
    thermal_strength = static_cast<float>(fpm * 0.00508);
}

void read_size(word_reader& r) {
    word_line line = read_words(r, 9);
    int_value low = int_at(line, 4), high = int_at(line, 6);
    if (!both_given(low, high) || both_zero(low, high) || high.value < low.value || low.value < 500 ||
        high.value > 10000)
        return;
    radius_min = static_cast<float>(static_cast<double>(low.value) * 0.00014204545454545454);
    radius_span = high.value == low.value ? 0.01f : static_cast<float>(static_cast<double>(high.value) / 7040.0 - radius_min);
}

void report_duration(const char* format) {
    show_box(caption_value_error, format, static_cast<int>(duration_min), static_cast<int>(duration_min + duration_span));
}

void read_duration(word_reader& r) {
    word_line line = read_words(r, 9);
    int_value low = int_at(line, 4), high = int_at(line, 6);
    if (absent(low) || absent(high) || both_zero(low, high)) return;
    if (both_given(low, high) && high.value < low.value)
        report_duration("'Thermal Duration' minimum cannot be greater than maximum.\n\nchanging range to %d-%d minutes");
    else if (!low.given() || low.value < 10)
        report_duration("Minimum 'Thermal Duration' cannot be less than 10 minutes.\n\nchanging range to %d-%d minutes");
    else if (!high.given() || high.value > 45)
        report_duration("Maximum 'Thermal Duration' cannot be greater than 45 minutes.\n\nchanging range to %d-%d minutes");
    else {
        duration_min = static_cast<std::uint32_t>(low.value);
        duration_span = static_cast<std::uint32_t>(high.value - low.value);
    }
}

// Returns the coverage handed to the create mode.
float read_coverage(word_reader& r) {
    word_line line = read_words(r, 7);
    float_value coverage = float_at(line, 3);
    int_at(line, 5);  // a number of the label, read and ignored
    if (!coverage.given() || coverage.value < 5 || coverage.value > 50) return default_coverage;
    field_radius = static_cast<float>(std::sqrt(159.2356687898089 / coverage.value));
    return coverage.value;
}

void read_lean_factor(word_reader& r) {
    float_value lean = float_at(read_words(r, 4), 4);
    if (lean.given() && static_cast<double>(lean.value) >= 0.3 && lean.value <= 1.5)
        lean_factor = static_cast<std::int16_t>(round_half_away(lean.value * 100));
}

void read_sink(word_reader& r) {
    int_value sink = int_at(read_words(r, 8), 3);
    if (absent(sink)) return;
    if (!within(sink, 0, 200)) {
        show_box(caption_value_error,
               "'Widespread Sink' cannot be negative or greater than 200.\n\nchanging value to 1 (automatic)");
        sink_setting = 1;
        return;
    }
    sink_setting = static_cast<std::int16_t>(sink.value);
    if (sink.value > 1) sink_rate = static_cast<float>(-static_cast<double>(sink.value) / 197.0);
}

void read_scenery_lift(word_reader& r) {
    int_value scenery = int_at(read_words(r, 5), 5);
    if (absent(scenery)) return;
    if (!within(scenery, 0, 1))
        show_box(caption_value_error, "'Enable Scenery (BGL) Lift/Sink' must be 0 or 1.\n\nchanging value to 0 (no)");
    else if (scenery.value == 1)
        scenery_lift_enabled = 1;
}

// ---- inversion layer -----------------------------------------------------

struct inversion_range {
    const char* name;        // as the messages call it
    std::int64_t low, high;  // the default range, feet
};

// The span times the draw is a float, and so is the sum.
std::int64_t random_in(std::int64_t low, std::int64_t high) {
    return truncate_toward_zero(static_cast<float>(low) + static_cast<float>(high - low) * rand01());
}

// Thickness or distance below the ceiling, feet.
std::int64_t read_inversion_range(word_reader& r, int count, int first, const inversion_range& range) {
    word_line line = read_words(r, count);
    int_value low = int_at(line, first), high = int_at(line, first + 2);
    if (both_zero(low, high) || (absent(low) && absent(high))) return random_in(range.low, range.high);
    bool ordered = both_given(low, high) && high.value >= low.value;
    if (!within(low, 500, 3000) || !within(high, 500, 3000)) {
        if (ordered || !both_given(low, high))
            show_box(caption_value_error,
                   "Inversion layer '%s' must be in the 500-3000 range.\n\nchanging to random value in the default "
                   "range (%d-%d)",
                   range.name, static_cast<int>(range.low), static_cast<int>(range.high));
        else
            show_box(caption_value_error,
                   "Inversion layer '%s' minimum cannot be greater than maximum.\n\nchanging to random value in the "
                   "default range",
                   range.name);
        return random_in(range.low, range.high);
    }
    if (low.value == high.value) return low.value;
    if (!ordered) {
        show_box(caption_value_error,
               "Inversion layer '%s' minimum cannot be greater than maximum.\n\nchanging to random value in the "
               "default range",
               range.name);
        return random_in(range.low, range.high);
    }
    return random_in(low.value, high.value);
}

void read_inversion_strength(word_reader& r) {
    int_value factor = int_at(read_words(r, 7), 4);
    if (within(factor, 10, 50)) {
        inversion_strength = static_cast<float>(static_cast<double>(factor.value) * 0.01);
        return;
    }
    if (!absent(factor) && !(factor.given() && factor.value == 0))
        show_box(caption_value_error,
               "Inversion layer 'Strength Factor' must be in the 10-50 range.\n\nchanging to random value in this "
               "range");
    inversion_strength = static_cast<float>(0.1 + 0.4 * rand01());
}

bool inversion_present(word_reader& r) {
    int_value likelihood = int_at(read_words(r, 2), 2);
    if (absent(likelihood)) return false;
    if (!within(likelihood, 0, 100)) {
        show_box(caption_value_error, "Inversion layer 'Likelihood' must be in the 0-100 range.\n\nchanging value to 0");
        return false;
    }
    if (likelihood.value == 100) return true;
    float draw = rand01();
    return static_cast<float>(likelihood.value) > 100 * draw && likelihood.value > 0;
}

void read_inversion_layer(word_reader& r) {
    read_words(r, 3);
    if (!inversion_present(r)) {
        skip_line_and_next(r, 3);
        return;
    }
    read_words(r, 3);  // the rest of the likelihood line
    std::int64_t thickness = read_inversion_range(r, 8, 3, {"Thickness", 500, 1000});
    inversion_half_thickness = round_half_away(static_cast<double>(thickness) * 0.5 * feet_to_metres);
    read_inversion_strength(r);
    std::int64_t distance = read_inversion_range(r, 9, 4, {"Distance Below Ceiling", 1000, 2000});
    inversion_altitude = round_half_away(static_cast<double>(distance) * feet_to_metres);
}

// ---- options and modes ---------------------------------------------------

std::int16_t option(word_reader& r, int count, std::int64_t low, std::int64_t high, std::int16_t otherwise) {
    int_value v = int_at(read_words(r, count), count);
    return within(v, low, high) ? static_cast<std::int16_t>(v.value) : otherwise;
}

void read_options_and_modes(word_reader& r) {
    cheat_keys_option = option(r, 6, 0, 2, 2);
    program_mode = option(r, 3, 0, 2, 0);
    topo_scan = option(r, 4, 0, 1, 0);
    read_words(r, 3);
}

// ---- extensions after the tool block -------------------------------------

constexpr int tool_block_lines = 9;

// The line after the tool block's nine lines: "Publish thermals for
// companion programs (0/1): 1". Files without it leave it off.
void read_extensions(const std::string& after_tool_heading) {
    std::istringstream in(after_tool_heading);
    word_reader r{&in};
    skip_line_and_next(r, tool_block_lines);
    int_value publish = int_at(read_words(r, 7), 7);
    if (absent(publish)) return;
    if (within(publish, 0, 1)) {
        publish_thermals = static_cast<std::int16_t>(publish.value);
        return;
    }
    show_box(caption_value_error,
             "'Publish thermals for companion programs' must be 0 or 1.\n\nchanging value to 0");
}

}  // namespace

void read_settings_from(std::istream& in) {
    word_reader r{&in};
    house_count = 0;
    read_house_thermals(r);
    read_words(r, 2);
    read_lift_ceiling(r);
    read_weak_layer(r);
    read_strength(r);
    read_size(r);
    read_duration(r);
    float coverage = read_coverage(r);
    read_lean_factor(r);
    read_sink(r);
    read_scenery_lift(r);
    read_inversion_layer(r);
    read_options_and_modes(r);
    std::string rest{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (program_mode == 2 || topo_scan == 1) {
        std::istringstream tool_block(rest);
        word_reader tools{&tool_block};
        read_tool_settings_and_run(tools, coverage);
    }
    read_extensions(rest);
    if (program_mode != 0) house_count = 0;
}

void read_settings() {
    std::ifstream file("skv.ini", std::ios::binary);
    if (!file) {
        show_box("'skv.ini' file error...", "File does not exist.\n\nUsing default settings.");
        return;
    }
    read_settings_from(file);
}
