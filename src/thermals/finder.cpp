#include "thermals/finder.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/messages.h"
#include "multiplayer/multi_file.h"
#include "simlink/aircraft.h"
#include "thermals/geometry.h"
#include "thermals/thermal_state.h"

#include <cstdint>

namespace {

constexpr double too_weak_to_see = 0.2;
constexpr double farthest_active_miles = 10.0;
constexpr double inside_share_of_radius = 0.67;
constexpr const char* too_high = "Don't expect much thermal lift this high.";
constexpr const char* too_early_or_late = "Don't expect much lift at this time of day.";

struct target {
    double lat, lon;
    float radius;
    std::int32_t top;
};

// Distance in miles with one decimal; tenths of 10 carry into the miles.
struct miles_and_tenths {
    float miles;
    int whole, tenths;
};

miles_and_tenths measure(const target& t) {
    float d = miles_from_aircraft(t.lat, t.lon);
    int whole = truncate_toward_zero(d);
    int tenths = round_half_away((d - static_cast<float>(whole)) * 10);
    if (tenths == 10) {
        ++whole;
        tenths = 0;
    }
    return {d, whole, tenths};
}

const char* weak_active_text() {
    if (program_mode != 1) return too_early_or_late;
    std::uint32_t seconds = 0;
    std::int32_t minute = 0;
    read_time_of_day(&seconds, &minute);
    if (minute < multi_start_minute - 20) return "skv-multi.dat has no lift this early.";
    if (minute > multi_stop_minute + 20) return "skv-multi.dat has no lift this late.";
    return "If there's a thermal nearby, it must be too weak to see.";
}

// Reads the aircraft's position and measures the way to the target. True
// when the option to tell "You're in it" applies, and its text is shown.
bool shown_close(const target& t, miles_and_tenths* m, int* bearing) {
    read_aircraft_position();
    *m = measure(t);
    *bearing = bearing_degrees(aircraft_latitude, aircraft_longitude, t.lat, t.lon);
    if (cheat_keys_option != 1 || m->miles >= inside_share_of_radius * t.radius) return false;
    show_sim_message(aircraft_altitude < t.top ? "You're in it.  Now find the core." : too_high, 5);
    return true;
}

void find_active(int slot) {
    const active_thermal& a = active_thermals[slot];
    if (a.strength < too_weak_to_see) {
        show_sim_message(weak_active_text(), 5);
        return;
    }
    target t{a.lat_here, a.lon_here, a.radius, a.top};
    miles_and_tenths m{};
    int bearing = 0;
    if (shown_close(t, &m, &bearing)) return;
    if (aircraft_altitude >= t.top)
        show_sim_message(too_high, 5);
    else if (m.miles >= farthest_active_miles)
        show_sim_message("I don't see it...", 5);
    else {
        format_message("thermal is %d.%d mile(s) away, bearing %d", m.whole, m.tenths, bearing);
        show_sim_message(message_text, 5);
    }
}

// House thermals are reported however far away they are.
void find_house(int slot) {
    if (slot + 1 > house_count) {
        show_sim_message(program_mode == 1 ? "House thermals are not available in multi-player mode"
                                           : "this house thermal not defined in 'skv.ini'",
                         5);
        return;
    }
    const house_thermal& h = house_thermals[slot];
    if (h.strength < too_weak_to_see) {
        show_sim_message(too_early_or_late, 5);
        return;
    }
    target t{h.lat_here, h.lon_here, h.radius, h.top};
    miles_and_tenths m{};
    int bearing = 0;
    if (shown_close(t, &m, &bearing)) return;
    if (aircraft_altitude >= t.top) {
        show_sim_message(too_high, 5);
        return;
    }
    format_message("%s house thermal is %d.%d mile(s) away, bearing %d", h.name, m.whole, m.tenths, bearing);
    show_sim_message(message_text, 5);
}

}  // namespace

void thermal_finder(int kind, int index) {
    if (cheat_keys_option == 0)
        show_sim_message("'Cheat keys' are disabled in skv.ini.", 5);
    else if (kind == 0)
        find_active(index);
    else
        find_house(index);
}
