// Lift in the thermal.
//
// The lift profile of a thermal of strength S and radius R at distance d
// from its column, h metres below its top, is 0.5 S (cos(3.77 d / R) +
// 0.809): 0.9045 S at the centre, a sink ring from 0.667 R to R, and within
// 143 m of the top it shrinks linearly to 0. While the aircraft is inside a
// thermal the pass keeps control in an in-thermal loop, which does on its
// own timers the housekeeping the main loop does otherwise.
#include "thermals/lift.h"

#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "driver/vertical_air.h"
#include "multiplayer/multi_file.h"
#include "simlink/aircraft.h"
#include "thermals/drift.h"
#include "thermals/generation.h"
#include "thermals/geometry.h"
#include "thermals/publication.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr double half_strength = 0.5;
constexpr double phase_scale = 3.77;
constexpr double profile_offset = 0.809;
constexpr std::int32_t top_band = 143;
constexpr double top_band_slope = 0.007;
constexpr std::int32_t ramp_seconds = 120;
constexpr double outside = 99.0;

enum kind_of_slot : std::int16_t { house_kind = 0, active_kind = 1 };

struct second_thermal {
    bool engaged = false;
    std::int16_t kind = active_kind;
    std::int16_t slot = 0;
};

// The state of one pass: the last lift and the overlapping thermal.
struct pass_state {
    double lift = 0.0;
    second_thermal second;
};

bool single_player() { return program_mode == 0; }

// Height below the top, on the low 16 bits as the profile takes it.
std::int16_t below_top(std::int32_t top) {
    return static_cast<std::int16_t>(metres_between(top, aircraft_altitude) & 0xFFFF);
}

float distance_to_active(int slot) {
    return miles_from_aircraft(active_thermals[slot].lat_here, active_thermals[slot].lon_here);
}
float distance_to_house(int slot) {
    return miles_from_aircraft(house_thermals[slot].lat_here, house_thermals[slot].lon_here);
}

void lean_second(const second_thermal& second) {
    if (second.kind == house_kind)
        lean_house(second.slot);
    else
        lean_active_for_mode(second.slot);
}

// A share of the ramp over the first or last 120 s of a life.
float ramp_share(std::int32_t seconds) { return static_cast<float>(seconds / 120.0); }

// The profile constants W, E and W7, fixed at the entry of an in-thermal loop.
struct profile {
    double w, e, w7;
};

profile profile_of(float strength, float radius) {
    double w = half_strength * strength;
    return {w, phase_scale / radius, top_band_slope * w};
}

double profile_lift(const profile& p, float d, std::int16_t h, float factor) {
    double shape = std::cos(p.e * d) + profile_offset;
    return h > top_band ? shape * p.w * factor : shape * p.w7 * factor * h;
}

// Adds the overlapping thermal, then the sink and the weak layer, and writes.
void write_lift(pass_state& pass, float f2) {
    if (pass.second.engaged) {
        float s = second_thermal_lift(pass.second.kind, pass.second.slot);
        if (s < outside) pass.lift = cap_lift(s * f2 + pass.lift);
    }
    pass.lift = weak_layer_factor() * (pass.lift + sink_rate);
    write_vertical_air_speed(pass.lift, 1);
}

void engage(second_thermal& second, std::int16_t kind, std::int16_t slot) { second = {true, kind, slot}; }

void lean_on_height_change(void (*lean_primary)(int), int primary, const second_thermal& second) {
    if (std::llabs(metres_between(aircraft_altitude, lean_altitude)) <= 7) return;
    lean_primary(primary);
    if (second.engaged) lean_second(second);
    lean_altitude = aircraft_altitude;
}

std::int32_t signed_difference(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(a) - static_cast<std::int64_t>(b));
}

// ---- the in-thermal loop of an active thermal ------------------------------

struct active_loop {
    int& slot;  // the primary thermal; a reload of the shared file may move it
    pass_state& pass;
    float d;
    float f1 = 1.0, f2 = 1.0;
    profile p{};
    std::uint32_t now = 0;
    std::int32_t minute = 0;
    std::uint32_t ten_timer = 0, candidate_timer = 0, lean_timer = 0, twenty_timer = 0;
    std::int32_t minute_mark = 0;
    int ten_step = 0, candidate_step = 0, lean_step = 0;
};

void update_life(active_loop& l) {
    const active_thermal& t = active_thermals[l.slot];
    l.f1 = life_factor(t, l.now);
    if (remaining_life(t, l.now) < 20 && single_player()) generate_thermal(l.slot, renew);
}

void ten_second_step(active_loop& l) {
    if (std::abs(signed_difference(l.now, l.ten_timer)) <= 10) return;
    if (l.now < l.ten_timer && single_player()) renew_after_clock_jump(l.now);
    switch (l.ten_step) {
    case 0: shift_track_fixes(); update_life(l); break;
    case 1: wind_check(); break;
    case 2: update_life(l); break;
    case 3: shift_track_fixes(); break;
    case 4: update_life(l); break;
    case 5: if (single_player()) renew_expired(); break;
    }
    publication_due();
    l.ten_step = l.ten_step == 5 ? 0 : l.ten_step + 1;
    l.ten_timer = l.now;
}

// The last slot holding the thermal `id`, or `slot` when none does.
int slot_of(std::int32_t id, int slot) {
    for (int j = 0; j < active_slots; ++j)
        if (active_thermals[j].multi_id == id) slot = j;
    return slot;
}

void minute_step(active_loop& l) {
    if (single_player() || l.minute == l.minute_mark) return;
    second_thermal& second = l.pass.second;
    std::int32_t primary_id = active_thermals[l.slot].multi_id;
    bool second_active = second.engaged && second.kind == active_kind;
    std::int32_t second_id = second_active ? active_thermals[second.slot].multi_id : 0;
    if (l.minute < l.minute_mark) multi_file_pos = 0;
    load_multiplayer_thermals(time_of_day_factor());
    if (active_thermals[l.slot].multi_id != primary_id) l.slot = slot_of(primary_id, l.slot);
    if (second_active && active_thermals[second.slot].multi_id != second_id)
        second.slot = static_cast<std::int16_t>(slot_of(second_id, second.slot));
    l.minute_mark = l.minute;
}

void engage_active_candidate(active_loop& l, std::int16_t candidate) {
    second_thermal& second = l.pass.second;
    if (!inside_thermal(active_kind, candidate) || second.engaged || l.slot == candidate) return;
    engage(second, active_kind, candidate);
    std::int16_t r = remaining_life(active_thermals[candidate], l.now);
    if (r < ramp_seconds) l.f2 = ramp_share(r);
}

void candidate_step(active_loop& l) {
    if (l.now - l.candidate_timer <= 1) return;
    second_thermal& second = l.pass.second;
    if (l.candidate_step <= 2) {
        auto house = static_cast<std::int16_t>(l.candidate_step);
        if (inside_thermal(house_kind, house) && !second.engaged) engage(second, house_kind, house);
    } else {
        engage_active_candidate(l, static_cast<std::int16_t>(l.candidate_step));
    }
    l.candidate_step = l.candidate_step == 4 ? 0 : l.candidate_step + 1;
    l.candidate_timer = l.now;
}

void lean_step(active_loop& l) {
    if (l.now - l.lean_timer <= 2) return;
    int c = l.lean_step;
    if (c <= 2)
        lean_active_for_mode(c);
    else if (c <= 4 && l.slot != c)
        lean_active_for_mode(c);
    else if ((c == 5 || c == 6) && house_count + 5 > c)
        lean_house(c - 5);
    else if (c == 7 && house_count == 3)
        lean_house(2);
    l.lean_step = c == 7 ? 0 : c + 1;
    l.lean_timer = l.now;
}

void twenty_second_step(active_loop& l) {
    const second_thermal& second = l.pass.second;
    if (std::abs(signed_difference(l.now, l.twenty_timer)) <= 20 || !second.engaged || second.kind != active_kind)
        return;
    std::int16_t r2 = remaining_life(active_thermals[second.slot], l.now);
    if (r2 < ramp_seconds) {
        l.f2 = ramp_share(r2);
        if (r2 < 20 && single_player()) generate_thermal(second.slot, renew);
    } else {
        l.f2 = 1.0;
    }
    l.twenty_timer = l.now;
}

bool still_inside(float d, float radius, std::int32_t top) {
    return d < radius && top > aircraft_altitude && running == 1;
}

void run_active_loop(int& slot, float& d, pass_state& pass) {
    active_loop l{slot, pass, d};
    const active_thermal& entered = active_thermals[slot];
    l.p = profile_of(entered.strength, entered.radius);
    read_time_of_day(&l.now, &l.minute);
    l.ten_timer = l.candidate_timer = l.lean_timer = l.twenty_timer = l.now;
    l.minute_mark = l.minute;
    l.f1 = life_factor(active_thermals[slot], l.now);
    while (still_inside(l.d, active_thermals[l.slot].radius, active_thermals[l.slot].top)) {
        pass.lift = profile_lift(l.p, l.d, below_top(active_thermals[l.slot].top), l.f1);
        queue_thermal_publication(l.now);
        write_lift(pass, l.f2);
        read_time_of_day(&l.now, &l.minute);
        poll_hot_keys();
        if (quit_prompt_active) break;
        read_aircraft_position();
        lean_on_height_change(lean_active_for_mode, l.slot, pass.second);
        ten_second_step(l);
        minute_step(l);
        candidate_step(l);
        lean_step(l);
        twenty_second_step(l);
        l.d = distance_to_active(l.slot);
    }
    d = l.d;
}

// ---- the in-thermal loop of a house thermal --------------------------------

struct house_loop {
    int house;
    pass_state& pass;
    float d;
    int other_u = -1, other_v = -1;  // the other house slots, -1 for none
    float f2 = 1.0;
    std::uint32_t now = 0;
    std::uint32_t candidate_timer = 0, twenty_timer = 0, lean_timer = 0;
    int candidate_step = 0, lean_step = 0, candidate_cycles = 0;
};

void find_other_houses(house_loop& l) {
    if (house_count == 2) l.other_u = 1 - l.house;
    if (house_count == 3) {
        l.other_u = l.house == 0 ? 1 : 0;
        l.other_v = l.house == 2 ? 1 : 2;
    }
}

void engage_house_candidate(house_loop& l, int other) {
    second_thermal& second = l.pass.second;
    if (other > -1 && inside_thermal(house_kind, static_cast<std::int16_t>(other)) && !second.engaged)
        engage(second, house_kind, static_cast<std::int16_t>(other));
}

void engage_active_from_house(house_loop& l, std::int16_t candidate) {
    second_thermal& second = l.pass.second;
    if (!inside_thermal(active_kind, candidate) || second.engaged) return;
    engage(second, active_kind, candidate);
    l.f2 = life_factor(active_thermals[candidate], l.now);
}

// Every sixth candidate cycle shifts the track fixes; every twelfth also
// renews, shifts and checks the wind.
void house_housekeeping(house_loop& l) {
    ++l.candidate_cycles;
    if (l.candidate_cycles == 6) shift_track_fixes();
    if (l.candidate_cycles == 12) {
        renew_expired();
        shift_track_fixes();
        wind_check();
        l.candidate_cycles = 0;
    }
    publication_due();
}

void house_candidate_step(house_loop& l) {
    if (l.now - l.candidate_timer <= 1) return;
    switch (l.candidate_step) {
    case 0: engage_house_candidate(l, l.other_u); break;
    case 1: engage_house_candidate(l, l.other_v); break;
    case 2: engage_active_from_house(l, 3); break;
    case 3: engage_active_from_house(l, 4); break;
    case 4: house_housekeeping(l); break;
    }
    l.candidate_step = l.candidate_step == 4 ? 0 : l.candidate_step + 1;
    l.candidate_timer = l.now;
}

void house_twenty_second_step(house_loop& l) {
    const second_thermal& second = l.pass.second;
    if (std::abs(signed_difference(l.now, l.twenty_timer)) <= 20 || !second.engaged || second.kind != active_kind)
        return;
    const active_thermal& t = active_thermals[second.slot];
    std::int16_t r2 = remaining_life(t, l.now);
    if (r2 < ramp_seconds) {
        l.f2 = ramp_share(r2);
        if (r2 < 20) generate_thermal(second.slot, renew);
    } else {
        l.f2 = life_factor(t, l.now);
    }
    l.twenty_timer = l.now;
}

void house_lean_step(house_loop& l) {
    if (l.now - l.lean_timer <= 2) return;
    if (l.now < l.lean_timer && single_player()) renew_after_clock_jump(l.now);
    int c = l.lean_step;
    if (c <= 4)
        lean_active_for_mode(c);
    else if ((c == 5 || c == 6) && c - 5 != l.house)
        lean_house(c - 5);
    else if (c == 7 && l.house != 2)
        lean_house(2);
    l.lean_step = c == 7 ? 0 : c + 1;
    l.lean_timer = l.now;
}

void run_house_loop(int house, float& d, pass_state& pass) {
    house_loop l{house, pass, d};
    find_other_houses(l);
    l.now = sim_clock_seconds();
    l.candidate_timer = l.twenty_timer = l.lean_timer = l.now;
    const house_thermal& h = house_thermals[house];
    profile p = profile_of(h.strength, h.radius);
    while (still_inside(l.d, h.radius, h.top)) {
        pass.lift = profile_lift(p, l.d, below_top(h.top), 1.0);
        queue_thermal_publication(l.now);
        write_lift(pass, l.f2);
        l.now = sim_clock_seconds();
        poll_hot_keys();
        if (quit_prompt_active) break;
        read_aircraft_position();
        lean_on_height_change(lean_house, house, pass.second);
        l.d = distance_to_house(house);
        house_candidate_step(l);
        house_twenty_second_step(l);
        house_lean_step(l);
    }
    d = l.d;
}

}  // namespace

float life_factor(const active_thermal& t, std::uint32_t now) {
    std::int16_t r = remaining_life(t, now);
    if (r < ramp_seconds) return ramp_share(r);
    std::uint32_t age = t.lifetime - static_cast<std::uint32_t>(r);
    if (age < 120u) return ramp_share(static_cast<std::int32_t>(age));
    return 1.0;
}

float second_thermal_lift(std::int16_t kind, std::int16_t slot) {
    float strength, radius;
    std::int32_t top;
    double lat, lon;
    if (kind == active_kind) {
        const active_thermal& t = active_thermals[slot];
        strength = t.strength, radius = t.radius, top = t.top, lat = t.lat_here, lon = t.lon_here;
    } else {
        const house_thermal& h = house_thermals[slot];
        strength = h.strength, radius = h.radius, top = h.top, lat = h.lat_here, lon = h.lon_here;
    }
    float d = miles_from_aircraft(lat, lon);
    if (d > radius) return static_cast<float>(outside);
    double shape = std::cos(phase_scale * d / radius) + profile_offset;
    std::int16_t h = below_top(top);
    if (h > top_band) return static_cast<float>(half_strength * strength * shape);
    return static_cast<float>(half_strength * strength * top_band_slope * shape * h);
}

double cap_lift(double lift) {
    auto cap = static_cast<float>(time_of_day_factor() * 1.333 * thermal_strength);
    return lift > cap ? cap : lift;
}

int inside_thermal(std::int16_t kind, std::int16_t slot) {
    if (kind == house_kind && slot >= 0 && slot < house_slots)
        return distance_to_house(slot) < house_thermals[slot].radius ? 1 : 0;
    if (kind == active_kind && slot >= 0 && slot < active_slots)
        return distance_to_active(slot) < active_thermals[slot].radius ? 1 : 0;
    return 0;
}

void thermal_pass() {
    read_aircraft_position();
    pass_state pass;
    for (int i = 0; i < active_slots; ++i) {
        float d = distance_to_active(i);
        if (still_inside(d, active_thermals[i].radius, active_thermals[i].top)) run_active_loop(i, d, pass);
        if (d > field_radius && single_player()) generate_thermal(i, ahead);
    }
    for (int j = 0; j < house_count; ++j) {
        house_thermal& h = house_thermals[j];
        float d = distance_to_house(j);
        if (h.rebase_altitude > 0 && d > 3.0) h.rebase_altitude = 0;
        if (still_inside(d, h.radius, h.top)) run_house_loop(j, d, pass);
    }
    if (pass.lift == 0.0 || quit_prompt_active) return;
    lean_every_column();
    lean_altitude = aircraft_altitude;
    if (!pass.second.engaged && quit_confirmed == 0) write_vertical_air_speed(weak_layer_factor() * sink_rate, 0);
}
