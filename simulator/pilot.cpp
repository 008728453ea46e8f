// The soaring pilot.
//
// Cruising, it asks the finder now and then (TAB-W, TAB-E, TAB-1..3) and
// flies at best-glide speed toward the nearest thermal a text names (the
// bearing is magnetic: the variation is added back); or, going by the
// clouds, it picks a cumulus near its course and flies under its upwind
// side; else it flies along its task or a search pattern. When the
// variometer shows lift it circles. After every full circle it moves the
// circle toward where the climb was best (it flies straight for a moment
// when heading that way), and it leaves near the cloud base or when a
// circle's mean climb falls below a threshold.
//
// In wind the pilot works in the air: its circles stand still in the
// moving air, while a column that leans with the wind moves upwind through
// it as the glider climbs. From the cores of its last circles it learns how
// fast, and leads its circle by that much.
#include "pilot.h"

#include "glider.h"
#include "recorder.h"
#include "terrain.h"
#include "thermal_clouds.h"
#include "world.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double metres_per_degree = 1852.0 * 60;
constexpr double metres_per_mile = 1609.344;
constexpr double metres_per_second_per_knot = 1852.0 / 3600;

constexpr double ask_every_seconds = 15;
constexpr double lift_to_circle_mps = 0.8;     // smoothed variometer
constexpr double weakest_circle_mps = 0.3;     // a circle's mean climb below it: leave
constexpr double good_climb_mps = 0.8;         // a climb this good lost in one circle: the core moved
constexpr double below_cloud_base_m = 80;      // leave this far below the base
constexpr double high_enough_m = 250;          // this near the base, go on along the task
constexpr double circling_bank_deg = 40;
constexpr double target_reached_m = 150;
constexpr double turnpoint_reached_m = 500;
constexpr double back_on_track_m = 300;          // off a leg by this much: a full intercept
constexpr double steepest_intercept_deg = 28.6;
constexpr double avoid_radius_m = 900;         // around a thermal just left
constexpr double avoid_seconds = 600;
constexpr double search_leg_seconds = 150;
constexpr double farthest_hint_miles = 5.0;     // farther is out of reach
constexpr double drift_look_ahead_m = 600;      // how far downwind a pilot looks before circling
constexpr double rising_ground_m = 50;
constexpr std::uint8_t finder_keys[] = {87, 69, 49, 50, 51};  // W, E, 1, 2, 3
constexpr double cloud_sight_m = 10000;
constexpr double look_every_seconds = 5;
constexpr double near_course_deg = 60;
constexpr double near_enough_m = 3000;          // clouds this much farther than the nearest are still near
constexpr double assumed_rise_mps = 2.0;        // how fast a pilot takes thermals to rise, for their lean
constexpr double farthest_lean_m = 4000;
constexpr double empty_cloud_seconds = 300;     // a cloud with nothing under it is left for a while
constexpr double longest_shift_m = 300;
constexpr double first_drift_share = 0.5;       // of the wind: how fast a core is taken to move upwind in the air
constexpr double centring_gain = 30000;          // metres moved per (m/s per metre) of the lift's slope across a circle

enum class mode { cruise, circling, shifting };

struct spot {
    double lat = 0, lon = 0, until = -1;
};

// A circle in the air: positions in metres east and north of where the
// circling began, less the wind's drift since then.
struct circle_stats {
    double turned_deg = 0, seconds = 0, climb_sum = 0;
    double last_heading = -1;  // the compass at the last sample
    double x_sum = 0, y_sum = 0, clock_sum = 0;
    double xx_sum = 0, yy_sum = 0, climb_x_sum = 0, climb_y_sum = 0;
    int samples = 0;
};

// Where the pilot last found the core, in the air, and how fast it moves
// through the air (m/s east and north).
struct core_track {
    bool known = false;
    double x = 0, y = 0, clock = 0;
    double drift_x = 0, drift_y = 0;
};

struct shunned_cloud {
    std::uint32_t serial = 0;
    double until = -1;
};

struct pilot_state {
    bool flying = false;
    pilot_sight sight = pilot_sight::finder;
    mode now = mode::cruise;
    double clock = 0;             // seconds the pilot has flown
    double vario = 0;             // smoothed climb
    std::uint32_t texts_seen = 0;
    double next_ask = 5;
    std::size_t next_key = 0;
    std::size_t last_key = 0;
    bool key_useless[std::size(finder_keys)] = {};  // its answer said it is not available
    bool has_target = false;
    double target_lat = 0, target_lon = 0;
    circle_stats circle;
    core_track core;
    double air_origin_lat = 0, air_origin_lon = 0, air_origin_clock = 0;
    std::uint32_t target_cloud = 0;
    bool farther_upwind = false;  // the first point under the cloud had nothing: on upwind
    double next_look = 0;
    shunned_cloud shunned[8];
    std::size_t next_shunned = 0;
    double shift_heading = 0, shift_metres = 0, shift_left = 0;
    bool shift_pending = false;
    spot avoided[8];
    std::size_t next_avoided = 0;
    double search_heading = 0, search_leg_left = search_leg_seconds;
    std::vector<spot> task;
    std::size_t next_turnpoint = 0;
    double climb_start_altitude = 0, climb_start_clock = 0;
    int weak_circles = 0;  // in a row
};

pilot_state pilot;

double stand_in_ground(double lat_deg, double lon_deg) { return terrain_height(lat_deg, lon_deg, world.ground_m); }
double (*ground_at)(double lat_deg, double lon_deg) = stand_in_ground;
std::vector<cumulus> (*clouds_in_sight)() = clouds_shown;

double east_metres(double lat_from, double lon_from, double lon_to) {
    return (lon_to - lon_from) * metres_per_degree * std::cos(lat_from * pi / 180);
}

double distance_m(double lat1, double lon1, double lat2, double lon2) {
    double north = (lat2 - lat1) * metres_per_degree, east = east_metres(lat1, lon1, lon2);
    return std::sqrt(north * north + east * east);
}

double bearing_deg(double lat1, double lon1, double lat2, double lon2) {
    double north = (lat2 - lat1) * metres_per_degree, east = east_metres(lat1, lon1, lon2);
    double b = std::atan2(east, north) * 180 / pi;
    return b < 0 ? b + 360 : b;
}

double angle_between(double a, double b) { return std::remainder(b - a, 360.0); }

void move_point(double lat, double lon, double bearing, double metres, double* lat_out, double* lon_out) {
    double b = bearing * pi / 180;
    *lat_out = lat + metres * std::cos(b) / metres_per_degree;
    *lon_out = lon + metres * std::sin(b) / (metres_per_degree * std::cos(lat * pi / 180));
}

bool avoided_here(double lat, double lon) {
    for (const spot& s : pilot.avoided)
        if (s.until > pilot.clock && distance_m(s.lat, s.lon, lat, lon) < avoid_radius_m) return true;
    return false;
}

// ---- the air and the clouds --------------------------------------------------

// The wind, as the pilot reads it off its drift over the ground: metres a
// second east and north the air moves.
void wind_vector(double* east, double* north) {
    double to = (world.wind_from_deg + 180) * pi / 180, speed = world.wind_knots * metres_per_second_per_knot;
    *east = speed * std::sin(to);
    *north = speed * std::cos(to);
}

void start_air_frame() {
    pilot.air_origin_lat = world.latitude_deg;
    pilot.air_origin_lon = world.longitude_deg;
    pilot.air_origin_clock = pilot.clock;
}

// The glider's place in the moving air.
void air_position(double* x, double* y) {
    double wind_east, wind_north;
    wind_vector(&wind_east, &wind_north);
    double t = pilot.clock - pilot.air_origin_clock;
    *x = east_metres(pilot.air_origin_lat, pilot.air_origin_lon, world.longitude_deg) - wind_east * t;
    *y = (world.latitude_deg - pilot.air_origin_lat) * metres_per_degree - wind_north * t;
}

bool shunned(std::uint32_t serial) {
    for (const shunned_cloud& c : pilot.shunned)
        if (c.serial == serial && c.until > pilot.clock) return true;
    return false;
}

void shun(std::uint32_t serial, double seconds) {
    if (serial == 0) return;
    pilot.shunned[pilot.next_shunned++ % std::size(pilot.shunned)] = {serial, pilot.clock + seconds};
}

// Where the pilot means to go now: the next turnpoint, else its search leg.
double course_deg() {
    if (pilot.next_turnpoint < pilot.task.size()) {
        const spot& tp = pilot.task[pilot.next_turnpoint];
        return bearing_deg(world.latitude_deg, world.longitude_deg, tp.lat, tp.lon);
    }
    return pilot.search_heading;
}

// The cloud a pilot would go for: of those in sight above it, the ones near
// its course (all, if none is), and of those not much farther than the
// nearest, the biggest.
const cumulus* cloud_to_go_for(const std::vector<cumulus>& clouds) {
    double lat = world.latitude_deg, lon = world.longitude_deg, course = course_deg();
    std::vector<const cumulus*> seen, on_course;
    for (const cumulus& c : clouds) {
        if (shunned(c.serial) || c.base_m < world.altitude_m + 100) continue;
        double d = distance_m(lat, lon, c.lat_deg, c.lon_deg);
        if (d > cloud_sight_m) continue;
        seen.push_back(&c);
        if (d < 2000 || std::fabs(angle_between(course, bearing_deg(lat, lon, c.lat_deg, c.lon_deg))) <= near_course_deg)
            on_course.push_back(&c);
    }
    const std::vector<const cumulus*>& pool = on_course.empty() ? seen : on_course;
    double nearest = 1e18;
    for (const cumulus* c : pool) nearest = std::fmin(nearest, distance_m(lat, lon, c->lat_deg, c->lon_deg));
    const cumulus* chosen = nullptr;
    for (const cumulus* c : pool)
        if (distance_m(lat, lon, c->lat_deg, c->lon_deg) <= nearest + near_enough_m &&
            (!chosen || c->width_m > chosen->width_m))
            chosen = c;
    return chosen;
}

// A thermal leans downwind as it rises: below its cloud it stands upwind,
// the farther the lower the glider. Not knowing how far, the pilot flies a
// line upwind under the cloud, from half its guess to half as much again.
void under_upwind_side(const cumulus& c, double* lat, double* lon) {
    double wind = world.wind_knots * metres_per_second_per_knot;
    double guess = std::fmax(0.0, c.base_m - world.altitude_m) * wind / assumed_rise_mps;
    double lean = std::fmin(farthest_lean_m, guess * (pilot.farther_upwind ? 1.5 : 0.5));
    move_point(c.lat_deg, c.lon_deg, world.wind_from_deg, lean, lat, lon);
}

void look_at_the_clouds() {
    if (pilot.clock < pilot.next_look) return;
    pilot.next_look = pilot.clock + look_every_seconds;
    std::vector<cumulus> clouds = clouds_in_sight();
    const cumulus* c = cloud_to_go_for(clouds);
    if (!c) {
        pilot.has_target = false;
        pilot.target_cloud = 0;
        return;
    }
    if (c->serial != pilot.target_cloud) {
        pilot.farther_upwind = false;
        char detail[96];
        std::snprintf(detail, sizeof detail, "heading for a cloud %.1f km away, %.0f m wide",
                      distance_m(world.latitude_deg, world.longitude_deg, c->lat_deg, c->lon_deg) / 1000, c->width_m);
        report("pilot", detail, false);
    }
    pilot.target_cloud = c->serial;
    pilot.has_target = true;
    under_upwind_side(*c, &pilot.target_lat, &pilot.target_lon);
}

// A hint: the thermal lies `miles` away at the magnetic bearing.
void take_hint(const finder_answer& a) {
    if (a.miles > farthest_hint_miles) return;
    double lat, lon;
    double true_bearing = a.bearing + world.magnetic_variation_deg;
    move_point(world.latitude_deg, world.longitude_deg, true_bearing, a.miles * metres_per_mile, &lat, &lon);
    if (avoided_here(lat, lon)) return;
    double here_to_new = distance_m(world.latitude_deg, world.longitude_deg, lat, lon);
    if (pilot.has_target &&
        distance_m(world.latitude_deg, world.longitude_deg, pilot.target_lat, pilot.target_lon) <= here_to_new)
        return;
    pilot.has_target = true;
    pilot.target_lat = lat;
    pilot.target_lon = lon;
    char detail[96];
    std::snprintf(detail, sizeof detail, "heading for a thermal %.1f miles away, bearing %.0f true", a.miles,
                  std::fmod(true_bearing + 360, 360));
    report("pilot", detail, false);
}

void read_new_text() {
    if (world.texts_shown == pilot.texts_seen) return;
    pilot.texts_seen = world.texts_shown;
    finder_answer a = parse_finder_text(world.last_text);
    if (a.kind == finder_answer::hint) take_hint(a);
    if (a.kind == finder_answer::not_available) pilot.key_useless[pilot.last_key] = true;
}

void ask_the_finder() {
    if (pilot.clock < pilot.next_ask) return;
    pilot.next_ask = pilot.clock + ask_every_seconds;
    for (std::size_t tries = 0; tries < std::size(finder_keys); ++tries) {
        std::size_t key = pilot.next_key++ % std::size(finder_keys);
        if (pilot.key_useless[key]) continue;
        pilot.last_key = key;
        press_hot_key(finder_keys[key]);
        return;
    }
}

void steer_towards(double heading, double speed) {
    glider_state& g = world.glider;
    double error = angle_between(g.heading_deg, heading);
    g.bank_deg = std::fmax(-30.0, std::fmin(30.0, error));
    g.airspeed_mps = speed;
}

double cloud_base() { return world.cloud_altitude_m > 0 ? world.cloud_altitude_m : 1e9; }

// High under the cloud base a pilot leaves the thermals be and goes on.
bool looking_for_lift() { return world.altitude_m < cloud_base() - high_enough_m; }

// Along a task's legs the pilot keeps to the line between the turnpoints
// (a ridge's lift lies over its face, a few hundred metres wide), back
// onto it at an angle that grows with how far off it is, heading into the
// wind by as much as the wind would carry it off the line.
double heading_along_leg(const spot& from, const spot& to) {
    double lat = world.latitude_deg, lon = world.longitude_deg;
    double leg = bearing_deg(from.lat, from.lon, to.lat, to.lon);
    double off_right_m = distance_m(from.lat, from.lon, lat, lon) *
                         std::sin(angle_between(leg, bearing_deg(from.lat, from.lon, lat, lon)) * pi / 180);
    double intercept = std::fmax(-1.0, std::fmin(1.0, off_right_m / back_on_track_m)) * steepest_intercept_deg;
    double track = (leg - intercept) * pi / 180;
    double wind_east, wind_north;
    wind_vector(&wind_east, &wind_north);
    double wind_to_the_right = wind_east * std::cos(track) - wind_north * std::sin(track);
    double airspeed = std::fmax(world.glider.airspeed_mps, 1.0);
    double crab = std::asin(std::fmax(-0.9, std::fmin(0.9, wind_to_the_right / airspeed)));
    return std::fmod((track - crab) * 180 / pi + 720, 360);
}

double cruise_heading(double seconds) {
    double lat = world.latitude_deg, lon = world.longitude_deg;
    bool in_rising_air = pilot.vario > 0.5;
    if (pilot.has_target && looking_for_lift() && !in_rising_air) {
        if (distance_m(lat, lon, pilot.target_lat, pilot.target_lon) > target_reached_m)
            return bearing_deg(lat, lon, pilot.target_lat, pilot.target_lon);
        pilot.has_target = false;  // nothing there: ask again, or look on upwind, or for another cloud
        pilot.next_ask = pilot.next_look = pilot.clock;
        if (pilot.sight == pilot_sight::clouds && !pilot.farther_upwind)
            pilot.farther_upwind = true;
        else
            shun(pilot.target_cloud, empty_cloud_seconds);
    }
    while (pilot.next_turnpoint < pilot.task.size()) {
        const spot& tp = pilot.task[pilot.next_turnpoint];
        if (distance_m(lat, lon, tp.lat, tp.lon) > turnpoint_reached_m) {
            if (pilot.next_turnpoint == 0) return bearing_deg(lat, lon, tp.lat, tp.lon);
            return heading_along_leg(pilot.task[pilot.next_turnpoint - 1], tp);
        }
        report("pilot", "turnpoint " + std::to_string(pilot.next_turnpoint + 1) + " reached", false);
        ++pilot.next_turnpoint;
    }
    pilot.search_leg_left -= seconds;
    if (pilot.search_leg_left <= 0) {
        pilot.search_heading = std::fmod(pilot.search_heading + 90, 360);
        pilot.search_leg_left = search_leg_seconds;
    }
    return pilot.search_heading;
}

// Circles drift with the wind: near a ridge they would carry the glider
// into rising ground or over the crest into the lee, so where the ground
// changes along the wind the pilot flies along instead.
bool near_a_ridge() {
    if (world.wind_knots <= 0) return false;
    double here = ground_at(world.latitude_deg, world.longitude_deg);
    for (double way : {0.0, 180.0}) {
        double lat, lon;
        move_point(world.latitude_deg, world.longitude_deg, world.wind_from_deg + way, drift_look_ahead_m, &lat, &lon);
        if (std::fabs(ground_at(lat, lon) - here) > rising_ground_m) return true;
    }
    return false;
}

void start_circling() {
    pilot.now = mode::circling;
    pilot.circle = circle_stats{};
    start_air_frame();
    double wind_east, wind_north;
    wind_vector(&wind_east, &wind_north);
    pilot.core = core_track{};
    pilot.core.drift_x = -first_drift_share * wind_east;
    pilot.core.drift_y = -first_drift_share * wind_north;
    pilot.shift_pending = false;
    pilot.climb_start_altitude = world.altitude_m;
    pilot.climb_start_clock = pilot.clock;
    pilot.weak_circles = 0;
    report("pilot", "circling in lift", false);
}

void leave_thermal(const char* why) {
    spot& s = pilot.avoided[pilot.next_avoided++ % std::size(pilot.avoided)];
    s = {world.latitude_deg, world.longitude_deg, pilot.clock + avoid_seconds};
    pilot.now = mode::cruise;
    pilot.has_target = false;
    pilot.next_ask = pilot.next_look = pilot.clock;
    shun(pilot.target_cloud, avoid_seconds);
    pilot.target_cloud = 0;
    double gained = world.altitude_m - pilot.climb_start_altitude;
    double seconds = pilot.clock - pilot.climb_start_clock;
    char detail[128];
    std::snprintf(detail, sizeof detail, "leaving (%s): climbed %.0f m at %.1f m/s", why, gained,
                  seconds > 0 ? gained / seconds : 0.0);
    report("pilot", detail, false);
}

void cruise(double seconds) {
    if (looking_for_lift() && pilot.sight == pilot_sight::finder) ask_the_finder();
    if (looking_for_lift() && pilot.sight == pilot_sight::clouds) look_at_the_clouds();
    steer_towards(cruise_heading(seconds), best_glide_speed(world.glider.shape));
    if (pilot.vario > lift_to_circle_mps && world.altitude_m < cloud_base() - below_cloud_base_m &&
        !near_a_ridge())
        start_circling();
}

// Where the core lay during the circle: from the circle's middle up the
// slope of the climb across it, the farther the steeper.
void core_of(const circle_stats& c, double* x, double* y) {
    double n = c.samples, mx = c.x_sum / n, my = c.y_sum / n, climb = c.climb_sum / c.seconds;
    double spread_x = c.xx_sum - n * mx * mx, spread_y = c.yy_sum - n * my * my;
    double slope_x = spread_x > 1 ? (c.climb_x_sum - n * climb * mx) / spread_x : 0;
    double slope_y = spread_y > 1 ? (c.climb_y_sum - n * climb * my) / spread_y : 0;
    double slope = std::hypot(slope_x, slope_y), step = std::fmin(longest_shift_m, slope * centring_gain);
    *x = mx + (slope > 0 ? slope_x / slope * step : 0);
    *y = my + (slope > 0 ? slope_y / slope * step : 0);
}

// The core seen in this circle teaches how fast the core moves through the
// air; the circle is moved to where the core will be once the move is flown.
void learn_the_drift(const circle_stats& c) {
    core_track& k = pilot.core;
    double seen_at = c.clock_sum / c.samples, core_x, core_y;
    core_of(c, &core_x, &core_y);
    if (k.known && seen_at - k.clock > 1) {
        double dx = (core_x - k.x) / (seen_at - k.clock), dy = (core_y - k.y) / (seen_at - k.clock);
        double fastest = world.wind_knots * metres_per_second_per_knot + 1, speed = std::hypot(dx, dy);
        if (speed > fastest) dx *= fastest / speed, dy *= fastest / speed;
        k.drift_x = 0.6 * k.drift_x + 0.4 * dx;
        k.drift_y = 0.6 * k.drift_y + 0.4 * dy;
    }
    k.known = true;
    k.x = core_x, k.y = core_y, k.clock = seen_at;
}

void plan_the_shift(const circle_stats& c) {
    const core_track& k = pilot.core;
    double centre_x = c.x_sum / c.samples, centre_y = c.y_sum / c.samples;
    double ahead = pilot.clock - k.clock, sx = 0, sy = 0;
    for (int i = 0; i < 2; ++i) {  // the move takes time, in which the core moves on
        sx = k.x + k.drift_x * ahead - centre_x;
        sy = k.y + k.drift_y * ahead - centre_y;
        ahead = pilot.clock - k.clock + std::fmin(std::hypot(sx, sy), longest_shift_m) / world.glider.airspeed_mps;
    }
    double offset = std::hypot(sx, sy);
    pilot.shift_pending = offset > 30;
    pilot.shift_heading = std::fmod(std::atan2(sx, sy) * 180 / pi + 360, 360);
    pilot.shift_metres = std::fmin(offset, longest_shift_m);
}

// A good climb that turns weak in one circle has mostly lost its core to
// the wind: one more circle, moved toward the lift, before giving it up.
bool worth_one_more_circle() {
    double seconds = pilot.clock - pilot.climb_start_clock;
    return pilot.weak_circles == 1 && seconds > 0 &&
           (world.altitude_m - pilot.climb_start_altitude) / seconds >= good_climb_mps;
}

// After a full circle: leave, or plan to move the circle toward its best lift.
void end_of_circle() {
    circle_stats& c = pilot.circle;
    double mean = c.climb_sum / c.seconds;
    if (world.altitude_m >= cloud_base() - below_cloud_base_m) return leave_thermal("cloud base");
    pilot.weak_circles = mean < weakest_circle_mps ? pilot.weak_circles + 1 : 0;
    if (pilot.weak_circles > 0 && !worth_one_more_circle()) return leave_thermal("weak");
    if (near_a_ridge()) return leave_thermal("near a ridge");
    learn_the_drift(c);
    plan_the_shift(c);
    c = circle_stats{};
}

void circle(double seconds) {
    glider_state& g = world.glider;
    g.bank_deg = circling_bank_deg;
    g.airspeed_mps = min_sink_speed(g.shape) * 1.15;
    if (pilot.shift_pending && std::fabs(angle_between(g.heading_deg, pilot.shift_heading)) < 15) {
        pilot.now = mode::shifting;
        pilot.shift_pending = false;
        pilot.shift_left = pilot.shift_metres / g.airspeed_mps;
        return;
    }
    circle_stats& c = pilot.circle;
    // By the compass: an aircraft rolls into its bank and out of it in its
    // own time.
    if (c.last_heading >= 0) c.turned_deg += std::fabs(angle_between(c.last_heading, g.heading_deg));
    c.last_heading = g.heading_deg;
    c.seconds += seconds;
    c.climb_sum += g.climb_mps * seconds;
    double x, y;
    air_position(&x, &y);
    c.x_sum += x;
    c.y_sum += y;
    c.xx_sum += x * x;
    c.yy_sum += y * y;
    c.climb_x_sum += g.climb_mps * x;
    c.climb_y_sum += g.climb_mps * y;
    c.clock_sum += pilot.clock;
    ++c.samples;
    if (c.turned_deg >= 360) end_of_circle();
}

void shift(double seconds) {
    steer_towards(pilot.shift_heading, world.glider.airspeed_mps);
    world.glider.bank_deg = 0;
    pilot.shift_left -= seconds;
    if (pilot.shift_left <= 0) {
        pilot.now = mode::circling;
        pilot.circle = circle_stats{};
    }
}

}  // namespace

finder_answer parse_finder_text(const std::string& text) {
    finder_answer a;
    int whole = 0, tenths = 0, bearing = 0;
    const char* house = " house thermal is ";
    std::size_t at = text.find(house);
    if (at != std::string::npos &&
        std::sscanf(text.c_str() + at + std::strlen(house), "%d.%d mile(s) away, bearing %d", &whole, &tenths,
                    &bearing) == 3) {
        a.kind = finder_answer::hint;
        a.name = text.substr(0, at);
    } else if (std::sscanf(text.c_str(), "thermal is %d.%d mile(s) away, bearing %d", &whole, &tenths, &bearing) == 3) {
        a.kind = finder_answer::hint;
    } else if (text == "You're in it.  Now find the core.") {
        a.kind = finder_answer::in_it;
    } else if (text == "Don't expect much thermal lift this high.") {
        a.kind = finder_answer::too_high;
    } else if (text == "Don't expect much lift at this time of day." ||
               text == "If there's a thermal nearby, it must be too weak to see." ||
               text == "skv-multi.dat has no lift this early." || text == "skv-multi.dat has no lift this late.") {
        a.kind = finder_answer::too_weak;
    } else if (text == "I don't see it...") {
        a.kind = finder_answer::out_of_sight;
    } else if (text == "'Cheat keys' are disabled in skv.ini." ||
               text == "this house thermal not defined in 'skv.ini'" ||
               text == "House thermals are not available in multi-player mode") {
        a.kind = finder_answer::not_available;
    }
    if (a.kind == finder_answer::hint) {
        a.miles = whole + tenths / 10.0;
        a.bearing = bearing;
    }
    return a;
}

void start_pilot(pilot_sight sight) {
    pilot.flying = true;
    pilot.sight = sight;
    if (sight != pilot_sight::finder)
        for (bool& useless : pilot.key_useless) useless = true;
    glider_state& g = world.glider;
    g.flying = true;
    g.airspeed_mps = best_glide_speed(g.shape);
    pilot.search_heading = g.heading_deg;
}

bool pilot_flying() { return pilot.flying; }

void set_pilot_ground(double (*ground_m)(double lat_deg, double lon_deg)) {
    ground_at = ground_m ? ground_m : stand_in_ground;
}

void set_pilot_clouds(std::vector<cumulus> (*clouds)()) { clouds_in_sight = clouds ? clouds : clouds_shown; }

void add_turnpoint(double lat_deg, double lon_deg) { pilot.task.push_back({lat_deg, lon_deg, 0}); }

void pilot_step(double seconds) {
    if (!pilot.flying || world.glider.landed) return;
    pilot.clock += seconds;
    pilot.vario += (world.glider.climb_mps - pilot.vario) * seconds / 2.0;
    read_new_text();
    switch (pilot.now) {
    case mode::cruise: cruise(seconds); break;
    case mode::circling: circle(seconds); break;
    case mode::shifting: shift(seconds); break;
    }
}

bool pilot_circling() { return pilot.flying && pilot.now != mode::cruise; }

void reset_pilot() { pilot = pilot_state{}; }

}  // namespace sim
