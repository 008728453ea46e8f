#include "world.h"

#include "flight_log.h"
#include "pilot.h"
#include "recorder.h"
#include "terrain.h"
#include "thermal_clouds.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <cstdio>
#include <cstring>

namespace sim {

world_state world;
std::mutex world_mutex;
void (*client_write_hook)(std::uint32_t offset, std::uint32_t n) = nullptr;

namespace {

unsigned char space[offset_space_bytes];
double next_fix_at = 0;  // elapsed seconds of the next fix of the flight log

constexpr double latitude_units_per_degree = 10001750.0 / 90.0;
constexpr double longitude_units_per_degree = 4294967296.0 / 360.0;
constexpr double pi = 3.14159265358979323846;

// Offsets with a meaning of their own.
constexpr std::uint32_t at_time_of_day = 0x0238;
constexpr std::uint32_t at_pause = 0x0264;
constexpr std::uint32_t at_magnetic_variation = 0x02A0;
constexpr std::uint32_t at_elapsed = 0x0310;
constexpr std::uint32_t at_latitude = 0x0560;
constexpr std::uint32_t at_longitude = 0x0568;
constexpr std::uint32_t at_altitude = 0x0574;
constexpr std::uint32_t at_slew = 0x05DC;
constexpr std::uint32_t at_ground = 0x0B4C;
constexpr std::uint32_t at_wind_speed = 0x0E90;
constexpr std::uint32_t at_wind_direction = 0x0E92;
constexpr std::uint32_t at_wind_layer_top = 0x0EEE;
constexpr std::uint32_t at_cloud_type = 0x0F80;
constexpr std::uint32_t at_cloud_altitude = 0xC682;
constexpr std::uint32_t at_hotkey_count = 0x320C;
constexpr std::uint32_t at_hotkey_slots = 0x3210;
constexpr std::uint32_t at_message_seconds = 0x32FA;
constexpr std::uint32_t at_hotkey_event = 0x32FE;
constexpr std::uint32_t at_fsuipc_version = 0x3304;
constexpr std::uint32_t at_sim_version = 0x3308;
constexpr std::uint32_t at_client_version = 0x330A;
constexpr std::uint32_t at_message_text = 0x3380;
constexpr std::uint32_t message_text_bytes = 128;
constexpr std::uint32_t at_vertical_air_write = 0x3478;
constexpr std::uint32_t at_vertical_air_read = 0x3518;
constexpr std::uint32_t at_ground_speed = 0x6030;
constexpr std::uint32_t at_ground_track = 0x6040;

template <typename T>
void put(std::uint32_t offset, T value) {
    std::memcpy(space + offset, &value, sizeof value);
}

template <typename T>
T get(std::uint32_t offset) {
    T value;
    std::memcpy(&value, space + offset, sizeof value);
    return value;
}

// A 16-bit angle, 65536 = 360 degrees.
std::int16_t angle16(double degrees) {
    double wrapped = std::remainder(degrees, 360.0);
    return static_cast<std::int16_t>(std::lround(wrapped * 65536.0 / 360.0) & 0xFFFF);
}

bool overlaps(std::uint32_t offset, std::uint32_t n, std::uint32_t start, std::uint32_t bytes) {
    return offset < start + bytes && start < offset + n;
}

// Another program holding a hot-key slot: F1 with Ctrl.
void occupy_slot(std::uint32_t slot) {
    space[at_hotkey_slots + 4 * slot] = 112;
    space[at_hotkey_slots + 4 * slot + 1] = 2;
}

}  // namespace

void lay_out_hotkey_slots() {
    std::memset(space + at_hotkey_slots, 0, 4 * hotkey_slot_total);
    std::uint32_t free_slots = world.free_hotkey_slots > hotkey_slot_total ? hotkey_slot_total : world.free_hotkey_slots;
    for (std::uint32_t slot = 0; slot < hotkey_slot_total - free_slots; ++slot) occupy_slot(slot);
}

namespace {

void publish_position() {
    std::uint32_t low;
    std::int32_t high;
    position_words(world.latitude_deg * latitude_units_per_degree, &low, &high);
    put(at_latitude, low);
    put(at_latitude + 4, high);
    position_words(world.longitude_deg * longitude_units_per_degree, &low, &high);
    put(at_longitude, low);
    put(at_longitude + 4, high);
    put(at_altitude, static_cast<std::int32_t>(std::floor(world.altitude_m)));
}

void absorb_position() {
    world.latitude_deg = units_of_words(get<std::uint32_t>(at_latitude), get<std::int32_t>(at_latitude + 4)) /
                         latitude_units_per_degree;
    world.longitude_deg = units_of_words(get<std::uint32_t>(at_longitude), get<std::int32_t>(at_longitude + 4)) /
                          longitude_units_per_degree;
    world.altitude_m = get<std::int32_t>(at_altitude);
}

void show_text() {
    char text[message_text_bytes + 1] = {};
    std::memcpy(text, space + at_message_text, message_text_bytes);
    std::uint16_t seconds = get<std::uint16_t>(at_message_seconds);
    world.last_text = text;
    ++world.texts_shown;
    log_text(world.session_seconds, world.last_text);
    report("text", std::to_string(seconds) + " s: " + world.last_text);
}

void take_vertical_air_speed() {
    world.vertical_air_speed = get<double>(at_vertical_air_write);
    ++world.vertical_air_writes;
    if (!vas_worth_recording(world.vertical_air_speed)) return;
    char value[48];
    std::snprintf(value, sizeof value, "%.4f m/s at %.0f m", world.vertical_air_speed, world.altitude_m);
    report("vas", value, false);
}

// Every write into a hot-key slot, with the slot as it now stands.
void report_hotkey_slots(std::uint32_t offset, std::uint32_t n) {
    std::uint32_t end = at_hotkey_slots + 4 * hotkey_slot_total;
    for (std::uint32_t slot_at = at_hotkey_slots; slot_at < end; slot_at += 4) {
        if (!overlaps(offset, n, slot_at, 4)) continue;
        const unsigned char* b = space + slot_at;
        char detail[96];
        std::snprintf(detail, sizeof detail, "slot %u: key %u shift %u control %u flag %u",
                      (slot_at - at_hotkey_slots) / 4, b[0], b[1], b[2], b[3]);
        report("hotkey-slot", detail, false);
    }
}

void take_slew() {
    bool slew = get<std::uint16_t>(at_slew) != 0;
    if (slew != world.slew) report("slew", slew ? "slew mode on" : "slew mode off");
    world.slew = slew;
}

void take_client_version(std::uint32_t offset, std::uint32_t n, const unsigned char* bytes) {
    unsigned char id[2] = {static_cast<unsigned char>(world.client_version_id),
                           static_cast<unsigned char>(world.client_version_id >> 8)};
    for (std::uint32_t i = 0; i < n; ++i)
        if (offset + i >= at_client_version && offset + i < at_client_version + 2)
            id[offset + i - at_client_version] = bytes[i];
    world.client_version_id = static_cast<std::uint16_t>(id[0] | id[1] << 8);
    report("client-version", std::to_string(world.client_version_id));
}

}  // namespace

void reset_world() {
    world = world_state{};
    reset_pilot();
    reset_flight_log();
    reset_terrain();
    next_fix_at = 0;
    std::memset(space, 0, sizeof space);
    lay_out_hotkey_slots();
}

namespace {

constexpr double metres_per_degree = 1852.0 * 60;

// The aircraft goes on along its track at its ground speed.
void move_aircraft(double seconds) {
    double metres = world.ground_speed_mps * seconds;
    if (metres == 0.0) return;
    double track = world.track_deg * pi / 180.0;
    world.latitude_deg += metres * std::cos(track) / metres_per_degree;
    world.longitude_deg += metres * std::sin(track) / (metres_per_degree * std::cos(world.latitude_deg * pi / 180.0));
}

void climb_or_sink(double seconds) {
    if (!world.climb) return;
    world.altitude_m += (world.vertical_air_speed + world.scenery_lift_mps + world.still_air_sink_mps) * seconds;
    double ground = ground_below_aircraft();
    if (world.altitude_m < ground) world.altitude_m = ground;
}

constexpr double metres_per_second_per_knot = 1852.0 / 3600;

// One fixed step of the flight model: the air vector plus the wind moves
// the glider; the vertical air less its sink lifts it.
void glider_step(double dt) {
    glider_state& g = world.glider;
    g.heading_deg = std::fmod(g.heading_deg + turn_rate_deg(g.airspeed_mps, g.bank_deg) * dt + 360.0, 360.0);
    double heading = g.heading_deg * pi / 180, wind_to = (world.wind_from_deg + 180) * pi / 180;
    double wind = world.wind_knots * metres_per_second_per_knot;
    double north = g.airspeed_mps * std::cos(heading) + wind * std::cos(wind_to);
    double east = g.airspeed_mps * std::sin(heading) + wind * std::sin(wind_to);
    world.ground_speed_mps = std::hypot(north, east);
    world.track_deg = std::fmod(std::atan2(east, north) * 180 / pi + 360.0, 360.0);
    world.latitude_deg += north * dt / metres_per_degree;
    world.longitude_deg += east * dt / (metres_per_degree * std::cos(world.latitude_deg * pi / 180.0));
    g.climb_mps = world.vertical_air_speed + world.scenery_lift_mps - turning_sink(g.shape, g.airspeed_mps, g.bank_deg);
    world.altitude_m += g.climb_mps * dt;
    double ground = ground_below_aircraft();
    if (world.altitude_m > ground) return;
    world.altitude_m = ground;
    g.landed = true;
    g.climb_mps = world.ground_speed_mps = 0;
    report("landed", "the glider is on the ground");
}

void fly_glider(double seconds) {
    glider_state& g = world.glider;
    g.time_left += seconds;
    while (g.time_left >= glider_step_seconds && !g.landed) {
        pilot_step(glider_step_seconds);
        glider_step(glider_step_seconds);
        g.time_left -= glider_step_seconds;
    }
}

void log_fixes() {
    if (world.elapsed_seconds < next_fix_at) return;
    next_fix_at = std::floor(world.elapsed_seconds) + 1;
    log_fix({world.session_seconds, world.time_of_day, world.latitude_deg, world.longitude_deg, world.altitude_m,
             ground_below_aircraft(), world.vertical_air_speed, pilot_circling()});
    log_thermals(world.session_seconds, published_columns());
}

}  // namespace

void advance_clock(double seconds) {
    world.session_seconds += seconds;
    if (world.paused) return;
    world.elapsed_seconds += seconds;
    world.time_of_day = std::fmod(world.time_of_day + seconds, 86400.0);
    if (world.slew) return;
    if (world.glider.flying) {
        fly_glider(seconds);
    } else {
        move_aircraft(seconds);
        climb_or_sink(seconds);
    }
    log_fixes();
}

namespace {
std::chrono::steady_clock::time_point last_real_tick;
}  // namespace

void start_real_time() { last_real_tick = std::chrono::steady_clock::now(); }

void tick_real_time() {
    auto now = std::chrono::steady_clock::now();
    if (world.mode == clock_mode::real_time) advance_clock(std::chrono::duration<double>(now - last_real_tick).count() * world.rate);
    last_real_tick = now;
}

void position_words(double units, std::uint32_t* low, std::int32_t* high) {
    // A high word of 0 subtracts its fraction, so (0, 1) cannot be written:
    // such a value becomes 0.
    double whole = units >= 1.0 ? std::floor(units) : std::ceil(units);
    double fraction = std::fabs(units - whole);
    if (units > 0.0 && units < 1.0) whole = fraction = 0.0;
    double scaled = std::floor(fraction * 4294967296.0);
    *high = static_cast<std::int32_t>(whole);
    *low = scaled >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(scaled);
}

double ground_below_aircraft() { return terrain_height(world.latitude_deg, world.longitude_deg, world.ground_m); }

double units_of_words(std::uint32_t low, std::int32_t high) {
    double fraction = low / 4294967296.0;
    return high >= 1 ? high + fraction : high - fraction;
}

void publish_state() {
    int clock = static_cast<int>(world.time_of_day);
    space[at_time_of_day] = static_cast<unsigned char>(clock / 3600);
    space[at_time_of_day + 1] = static_cast<unsigned char>(clock / 60 % 60);
    space[at_time_of_day + 2] = static_cast<unsigned char>(clock % 60);
    put<std::uint16_t>(at_pause, world.paused ? 1 : 0);
    put(at_magnetic_variation, angle16(world.magnetic_variation_deg));
    put(at_elapsed, world.elapsed_seconds);
    publish_position();
    put(at_ground, static_cast<std::int16_t>(std::lround(std::clamp(ground_below_aircraft(), -32768.0, 32767.0))));
    put(at_wind_speed, static_cast<std::int16_t>(std::lround(world.wind_knots)));
    put(at_wind_direction, angle16(world.wind_from_deg));
    put(at_wind_layer_top, world.wind_layer_top_m);
    put(at_cloud_type, world.cloud_type);
    put(at_cloud_altitude, world.cloud_altitude_m);
    put(at_hotkey_count, hotkey_slot_total);
    put(at_hotkey_event, world.hotkey_event);
    put(at_fsuipc_version, world.fsuipc_version);
    put<std::uint16_t>(at_sim_version, world.sim_version);
    put<std::uint16_t>(at_sim_version + 2, 0xFADE);
    put(at_vertical_air_read, world.vertical_air_speed + world.scenery_lift_mps);
    put(at_ground_speed, world.ground_speed_mps);
    put(at_ground_track, world.track_deg * pi / 180.0);
}

void read_offsets(std::uint32_t offset, std::uint32_t n, unsigned char* out) {
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t at = std::uint64_t(offset) + i;
        out[i] = at < offset_space_bytes ? space[at] : 0;
    }
}

void write_offsets(std::uint32_t offset, std::uint32_t n, const unsigned char* bytes) {
    if (overlaps(offset, n, at_fsuipc_version, 8)) {
        // The versions are FSUIPC's own; only the client's id is taken.
        if (overlaps(offset, n, at_client_version, 2)) take_client_version(offset, n, bytes);
        return;
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint64_t at = std::uint64_t(offset) + i;
        if (at < offset_space_bytes) space[at] = bytes[i];
    }
    if (overlaps(offset, n, at_latitude, at_altitude + 4 - at_latitude)) absorb_position();
    if (overlaps(offset, n, at_message_seconds, 2)) show_text();
    if (overlaps(offset, n, at_slew, 2)) take_slew();
    if (overlaps(offset, n, at_vertical_air_write, 8)) take_vertical_air_speed();
    if (overlaps(offset, n, at_hotkey_slots, 4 * hotkey_slot_total)) report_hotkey_slots(offset, n);
    if (client_write_hook) client_write_hook(offset, n);
}

// Every slot that asks for the key sees the press: a program killed
// mid-flight leaves its slots taken, and the one started after it has its
// own further on.
bool press_hot_key(std::uint8_t key_code) {
    bool pressed = false;
    for (std::uint32_t slot = 0; slot < hotkey_slot_total; ++slot) {
        unsigned char* s = space + at_hotkey_slots + 4 * slot;
        if (s[0] == key_code && s[1] == 16) {
            s[3] = 1;
            pressed = true;
        }
    }
    if (pressed) ++world.hotkey_event;
    return pressed;
}

void wait_answer_delay() {
    std::uint32_t delay_ms;
    {
        std::lock_guard<std::mutex> lock(world_mutex);
        delay_ms = world.answer_delay_ms;
    }
    if (delay_ms) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(world_mutex);
            if (!world.answers_held) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::string clock_text() {
    int clock = static_cast<int>(world.time_of_day);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", clock / 3600 % 100, clock / 60 % 60, clock % 60);
    return text;
}

}  // namespace sim
