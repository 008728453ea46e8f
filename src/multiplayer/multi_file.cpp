// Flying from skv-multi.dat.
//
// The file is read as lines: a damaged or hand-edited file can make a load
// stop early, but never makes it read past a line or load a thermal whose
// numbers are not finite.
#include "multiplayer/multi_file.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "config/word_stream.h"
#include "driver/messages.h"
#include "simlink/aircraft.h"
#include "thermals/drift.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>

std::int32_t multi_start_minute = 0;
std::int32_t multi_stop_minute = 0;
std::int64_t multi_file_pos = 0;

namespace {

constexpr int header_lines = 14;
constexpr std::size_t longest_line = 256;
constexpr const char* caption_file_error = "Error in file 'skv-multi.dat'";

// The next line without its end; false at the end of the file or for a
// line too long to be one of the file's.
bool next_line(std::FILE* f, std::string* line) {
    char buffer[longest_line];
    if (!std::fgets(buffer, sizeof buffer, f)) return false;
    std::size_t length = std::strlen(buffer);
    bool whole = length > 0 && buffer[length - 1] == '\n';
    if (!whole && !std::feof(f)) return false;
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r')) --length;
    line->assign(buffer, length);
    return true;
}

bool blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

bool next_non_blank_line(std::FILE* f, std::string* line) {
    while (next_line(f, line))
        if (!blank(*line)) return true;
    return false;
}

// The word at a 1-based position of the line.
std::string word_at(const std::string& line, int position) {
    std::istringstream in(line);
    std::string word;
    for (int i = 0; i < position && in >> word; ++i) {
    }
    return in ? word : std::string();
}

int_value int_word(const std::string& line, int position) { return parse_int(word_at(line, position)); }

// hh:mm as hour x 60 + minute, held within 32 bits; -1 when the time
// cannot be read or comes out negative.
std::int32_t minute_of_day(const std::string& line) {
    int hour = 0, minute = 0;
    char separator = 0;
    if (std::sscanf(word_at(line, 3).c_str(), "%d%c%d", &hour, &separator, &minute) != 3) return -1;
    std::int64_t minutes = std::int64_t{hour} * 60 + minute;
    if (minutes < 0) return -1;
    return minutes > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                               : static_cast<std::int32_t>(minutes);
}

struct header_values {
    std::string lines[header_lines];
};

bool read_header_lines(std::FILE* f, header_values* h) {
    for (auto& line : h->lines)
        if (!next_non_blank_line(f, &line)) return false;
    return true;
}

void take_ceiling(const std::string& line) {
    int_value feet = int_word(line, 5);
    if (!feet.given() || feet.value < 1000 || feet.value > 20000) {
        show_box(caption_file_error,
                 "'Lift Ceiling...' must be in the range 1000-20000 feet MSL.\n\nUsing program default value of 6000 feet MSL.");
        lift_ceiling = 1829;
        return;
    }
    lift_ceiling = truncate_toward_zero(static_cast<double>(feet.value) * 0.3048);
}

void take_weak_layer(const std::string& line) {
    int_value feet = int_word(line, 5);
    std::int64_t value = feet.value;
    if (!feet.given() || value < 0 || value > 3000) {
        std::string shown = feet.given() ? std::to_string(feet.value) : feet.word;
        show_box(caption_file_error, "Illegal value (%s) for 'Weak Surface Layer Height'.\nUsing default value of 1000.",
                 shown.c_str());
        value = 1000;
    }
    weak_layer_height = truncate_toward_zero(static_cast<double>(value) * 0.3048);
}

void take_lean_factor(const std::string& line) {
    float_value lean = parse_float(word_at(line, 4));
    if (!lean.given() || !(static_cast<double>(lean.value) >= 0.3) || lean.value > 1.5) {
        show_box(caption_file_error, "Thermal Lean Factor must be in the range 0.3-1.5.\n\nUsing program default value.");
        lean_factor = 70;
        return;
    }
    lean_factor = static_cast<std::int16_t>(round_half_away(lean.value * 100));
}

// Any 16-bit value is taken as the file has it; one that does not fit 16
// bits keeps the setting of skv.ini.
bool short_word(const std::string& line, int position, std::int16_t* value) {
    int_value v = int_word(line, position);
    if (!v.given() || v.value < -32768 || v.value > 32767) return false;
    *value = static_cast<std::int16_t>(v.value);
    return true;
}

void take_sink(const std::string& line) {
    if (short_word(line, 3, &sink_setting)) sink_rate = static_cast<float>(sink_setting * -0.00508);
}

void take_scenery(const std::string& line) {
    int_value v = int_word(line, 5);
    if (!v.given() || (v.value != 0 && v.value != 1)) {
        show_box(caption_file_error, "'Enable Scenery (BGL) Lift/Sink' must be 0 or 1.\n\nchanging value to 0 (no)");
        scenery_lift_enabled = 0;
        return;
    }
    scenery_lift_enabled = static_cast<std::int32_t>(v.value);
}

// Any value other than 0 says the layer is present. A present layer whose
// three lines do not all hold a number is taken as no layer: there would be
// nothing to place.
void take_inversion(const header_values& h) {
    int_value present = int_word(h.lines[9], 2);
    if (!present.given() || present.value == 0) {
        inversion_strength = 0;
        return;
    }
    int_value thickness = int_word(h.lines[10], 2), percent = int_word(h.lines[11], 4), distance = int_word(h.lines[12], 4);
    if (!thickness.given() || !percent.given() || !distance.given()) {
        inversion_strength = 0;
        return;
    }
    inversion_half_thickness = round_half_away(static_cast<double>(thickness.value) * 0.5 * 0.3048);
    inversion_strength = static_cast<float>(static_cast<double>(percent.value) * 0.01);
    // Held within 32 bits: the file's numbers may be of any size.
    inversion_altitude = truncate_toward_zero(static_cast<double>(lift_ceiling) -
                                              round_half_away(static_cast<double>(distance.value) * 0.3048) -
                                              inversion_half_thickness);
}

void take_cheat_keys(const std::string& line) { short_word(line, 4, &cheat_keys_option); }

// ---- loading the thermals alive now ------------------------------------------------

struct entry {
    long number;
    double latitude, longitude;  // radians
    float radius, strength;
    short slot_group;
    unsigned long start;
    unsigned duration;
};

bool scan_entry(const std::string& line, entry* e) {
    return std::sscanf(line.c_str(), "%ld %lf %lf %f %f %hd %lu %u", &e->number, &e->latitude, &e->longitude,
                       &e->radius, &e->strength, &e->slot_group, &e->start, &e->duration) == 8;
}

// A thermal whose numbers are not finite or whose position lies off the
// earth is not loaded.
bool possible(const entry& e) {
    return std::isfinite(e.latitude) && std::isfinite(e.longitude) && std::isfinite(e.radius) &&
           std::isfinite(e.strength) && std::fabs(e.latitude) <= 4 && std::fabs(e.longitude) <= 7;
}

// When the entry's life ends, in seconds since midnight.
std::uint64_t end_of(const entry& e) { return static_cast<std::uint64_t>(e.start) + e.duration; }

struct slot_table {
    float best[active_slots] = {100, 100, 100, 100, 100};
};

// The entry goes into its group's slots, nearest first; ties keep the
// entry read first in front.
void place(const entry& e, float d, float factor, slot_table& t) {
    int first = e.slot_group == 0 ? 0 : 3, last = e.slot_group == 0 ? 2 : 4;
    if (!(d < t.best[last])) return;
    int at = first;
    while (!(d < t.best[at])) ++at;
    for (int k = last; k > at; --k) {
        active_thermals[k] = active_thermals[k - 1];
        t.best[k] = t.best[k - 1];
    }
    active_thermal& s = active_thermals[at];
    s.lat_ref = e.latitude;
    s.lon_ref = e.longitude;
    s.radius = e.radius;
    s.strength = factor * e.strength;
    s.birth_time = static_cast<std::uint32_t>(e.start);
    s.lifetime = e.duration;
    s.multi_id = static_cast<std::int32_t>(e.number);
    t.best[at] = d;
}

// Where the entry's column stands at the aircraft's altitude. With no
// strength to lean by (a factor of 0, before 10:00 and from 18:00) it is
// taken where the file puts it. The height times the wind is a whole
// number, divided by the single-precision strength in single precision.
float distance_at_altitude(const entry& e, float factor, float bearing) {
    float rise = factor * e.strength;
    double miles = 0;
    if (rise > 0) {
        std::int64_t metres_times_wind = (static_cast<std::int64_t>(aircraft_altitude) - (lift_ceiling + 54LL)) * wind_speed;
        miles = static_cast<float>(metres_times_wind) / rise / (lean_factor * 14.48);
    }
    if (!std::isfinite(miles)) miles = 0;
    double lat = e.latitude + north_offset(bearing, static_cast<float>(miles));
    double lon = e.longitude + east_offset(bearing, static_cast<float>(miles));
    return static_cast<float>(distance_miles(aircraft_latitude, aircraft_longitude, lat, lon));
}

bool skip_header(std::FILE* f) {
    std::string line;
    for (int i = 0; i < header_lines; ++i)
        if (!next_non_blank_line(f, &line)) return false;
    return true;
}

// Slots 3 and 4 are compared by the entry numbers they carry, also when a
// slot received nothing this time and still carries its last number: every
// pilot's program does the same, so all hear the same finder answers.
void keep_slots_3_and_4(std::int32_t was_3, std::int32_t was_4) {
    if (active_thermals[3].multi_id == was_4 || active_thermals[4].multi_id == was_3)
        std::swap(active_thermals[3], active_thermals[4]);
}

}  // namespace

bool multi_file_present() {
    std::FILE* file = std::fopen(multi_file_name, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

void read_multiplayer_header() {
    std::FILE* f = std::fopen(multi_file_name, "rb");
    if (!f) return;
    header_values h;
    bool whole = read_header_lines(f, &h);
    std::fclose(f);
    if (!whole) {
        show_box(caption_file_error, "The header of 'skv-multi.dat' is incomplete.\n\nUsing the settings of 'skv.ini'.");
        return;
    }
    std::int32_t start = minute_of_day(h.lines[1]), stop = minute_of_day(h.lines[2]);
    if (start >= 0) multi_start_minute = start;
    if (stop >= 0) multi_stop_minute = stop;
    take_ceiling(h.lines[3]);
    take_weak_layer(h.lines[4]);
    take_lean_factor(h.lines[5]);
    take_sink(h.lines[6]);
    take_scenery(h.lines[7]);
    take_inversion(h);
    take_cheat_keys(h.lines[13]);
}

// The next load starts after the entries that can no longer be alive: a
// thermal lives up to 45 minutes, so the entries of the last 20 minutes
// alone would not do (a pilot flying on would lose thermals that one who
// starts now still has).
void load_multiplayer_thermals(float factor) {
    std::uint32_t now = sim_clock_seconds();
    std::FILE* f = std::fopen(multi_file_name, "rb");
    if (!f) return;
    std::int32_t was_3 = active_thermals[3].multi_id, was_4 = active_thermals[4].multi_id;
    for (auto& t : active_thermals) t.strength = 0;
    float bearing = downwind_bearing(wind_dir);
    ceiling_from_clouds();
    for (auto& t : active_thermals) t.top = t.ref_altitude = altitude_moved(lift_ceiling, 54);
    bool positioned = multi_file_pos != 0 ? std::fseek(f, static_cast<long>(multi_file_pos), SEEK_SET) == 0 : skip_header(f);
    bool all_over = true;  // every entry read so far has ended
    slot_table table;
    std::string line;
    entry e{};
    while (positioned && next_non_blank_line(f, &line) && scan_entry(line, &e) && e.start <= now) {
        all_over = all_over && end_of(e) <= now;
        if (all_over) multi_file_pos = std::ftell(f);
        if (now >= end_of(e) || !possible(e)) continue;
        place(e, distance_at_altitude(e, factor, bearing), factor, table);
    }
    std::fclose(f);
    keep_slots_3_and_4(was_3, was_4);
    for (int slot = 0; slot < active_slots; ++slot) lean_active_multi(slot);
}

void reset_multiplayer() {
    multi_start_minute = multi_stop_minute = 0;
    multi_file_pos = 0;
}
