#include "thermals/generation.h"

#include "config/rounding.h"
#include "config/settings.h"
#include "driver/session.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/drift.h"
#include "thermals/geometry.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <cmath>

namespace {

std::int32_t random_top() {
    return truncate_toward_zero(shaped_random(0.1) * 138 + static_cast<float>(metres_between(lift_ceiling, 30)));
}

// A life that began up to a whole lifetime ago; the difference is taken in
// float and then truncated. Just after midnight it wraps as the clock does.
std::uint32_t birth_part_way(std::uint32_t now, std::uint32_t lifetime) {
    float birth = static_cast<float>(now) - rand01() * static_cast<float>(lifetime);
    return static_cast<std::uint32_t>(truncate_toward_zero(birth));
}

struct placement_point {
    float distance;  // miles
    double bearing;  // radians from true north
};

placement_point place_renewed(int slot, active_thermal& t) {
    t.birth_time = sim_clock_seconds();
    float distance = placement_distance(slot);
    return {distance, rand01() * 6.28};
}

placement_point place(int slot, placement mode, active_thermal& t) {
    if (mode == ahead) {
        float track = mean_track();
        if (track >= 6.3) return place_renewed(slot, t);
        t.birth_time = birth_part_way(sim_clock_seconds(), t.lifetime);
        double bearing = std::asin(static_cast<double>(1 - 2 * rand01())) + track;
        if (bearing >= 6.28)
            bearing -= 6.28;
        else if (bearing < 0)
            bearing += 6.28;
        return {field_radius, bearing};
    }
    if (mode == scatter) {
        auto distance = static_cast<float>(t.radius + 0.03 + rand01() * (field_radius - t.radius - 0.03));
        t.birth_time = birth_part_way(sim_clock_seconds(), t.lifetime);
        return {distance, rand01() * 6.28};
    }
    return place_renewed(slot, t);
}

double wrapped_longitude(double longitude) {
    if (longitude > 3.14159) return longitude - 6.28318;
    if (longitude < -3.14159) return longitude + 6.28318;
    return longitude;
}

// The reference point goes downwind to 143 m below the top, so that the
// column stands at the chosen point at the aircraft's altitude.
void lean_new_column(active_thermal& t) {
    std::int64_t below_top = metres_between(t.top, t.ref_altitude);
    if (below_top <= 143 || t.strength <= 0) return;
    auto distance = static_cast<float>(reference_lean_miles(below_top - 143, t.strength));
    float bearing = downwind_bearing(wind_dir);
    t.lat_ref += north_offset(bearing, distance);
    t.lon_ref += east_offset(bearing, distance);
    t.ref_altitude = altitude_moved(t.top, -143);
}

bool aircraft_inside(const active_thermal& t) {
    return miles_from_aircraft(t.lat_here, t.lon_here) < t.radius;
}

}  // namespace

void generate_thermal(int slot, placement mode) {
    active_thermal& t = active_thermals[slot];
    t.lifetime = static_cast<std::uint32_t>(round_half_away(
        shaped_random(0.1) * static_cast<float>(duration_span * 60) + static_cast<float>(duration_min * 60)));
    t.radius = skewed_random(0, radius_shape) * radius_span + radius_min;
    placement_point p = place(slot, mode, t);
    auto bearing = static_cast<float>(p.bearing);
    t.lat_ref = aircraft_latitude + north_offset(bearing, p.distance);
    t.lon_ref = wrapped_longitude(aircraft_longitude + east_offset(bearing, p.distance));
    t.lat_here = t.lat_ref;
    t.lon_here = t.lon_ref;
    ceiling_from_clouds();
    t.top = random_top();
    t.strength = static_cast<float>(time_of_day_factor() * thermal_strength * strength_factor(t.radius));
    link_read(off_altitude.offset, off_altitude.bytes, &t.ref_altitude, &link_result);
    link_process(&link_result);
    lean_new_column(t);
    for (int j = 0; j < house_count; ++j) house_thermals[j].top = random_top();
}

double strength_factor(float radius) {
    return ((radius_min + radius_span - radius) / radius_span) * 0.44 + 0.89;
}

float placement_distance(int slot) {
    for (int j = 0; j < active_slots; ++j) {
        if (j == slot || !aircraft_inside(active_thermals[j])) continue;
        auto clear = static_cast<float>(((radius_min + radius_span) * 2 + active_thermals[slot].radius) * 0.667);
        return clear >= field_radius ? clear : clear + rand01() * (field_radius - clear);
    }
    return static_cast<float>(std::sqrt(static_cast<double>(rand01())) * field_radius);
}

namespace {

// The newest track fix at least 30 s old, or nullptr.
const track_fix* fix_old_enough(std::uint32_t now) {
    if (now - track_fix_1.time > 29) return &track_fix_1;
    if (now - track_fix_2.time > 29) return &track_fix_2;
    return nullptr;
}

// The mean of the track and the bearing, (a + b) x 0.5. Where the two lie
// more than half a turn apart (a track just east of north and a bearing
// just west of it) that mean points south and the thermal would be put
// behind the glider: there the mean is taken the short way round.
double mean_direction(double a, double b) {
    if (std::fabs(a - b) <= 3.14159) return (a + b) * 0.5;
    if (a < b)
        a += 6.28318;
    else
        b += 6.28318;
    double mean = (a + b) * 0.5;
    return mean >= 6.28318 ? mean - 6.28318 : mean;
}

}  // namespace

float mean_track() {
    std::uint32_t now = sim_clock_seconds();
    const track_fix* fix = fix_old_enough(now);
    if (!fix) return track_history_too_short;
    double fix_lat = static_cast<float>(fix->latitude), fix_lon = static_cast<float>(fix->longitude);
    double ground_speed = 0.0, track = 0.0;
    link_read(off_ground_speed.offset, off_ground_speed.bytes, &ground_speed, &link_result);
    link_read(off_ground_track.offset, off_ground_track.bytes, &track, &link_result);
    link_process(&link_result);
    double bearing = bearing_degrees(fix_lat, fix_lon, aircraft_latitude, aircraft_longitude) * 0.0175;
    double difference = std::fabs(track - bearing);
    if (difference > 3.14159) difference = 6.283 - difference;
    if (difference > 0.209) return track_not_steady;
    float miles = miles_from_aircraft(fix_lat, fix_lon);
    float speed = miles / static_cast<float>(now - fix->time) * 1609;
    if (ground_speed * 1.25 < speed || ground_speed * 0.75 > speed) return speed_not_steady;
    return static_cast<float>(mean_direction(track, bearing));
}

void init_house_thermals(float factor) {
    for (int j = 0; j < house_count; ++j) {
        house_thermal& h = house_thermals[j];
        h.top = random_top();
        h.radius = shaped_random(0.1) * radius_span + radius_min;
        h.strength = static_cast<float>(strength_factor(h.radius) * (factor * thermal_strength));
    }
}

void ceiling_from_clouds() {
    std::int16_t cloud_altitude = 0, cloud_type = 0;
    link_read(off_cloud_altitude.offset, off_cloud_altitude.bytes, &cloud_altitude, &link_result);
    link_read(off_cloud_type.offset, off_cloud_type.bytes, &cloud_type, &link_result);
    link_process(&link_result);
    if (cloud_altitude == lift_ceiling) return;
    if (cloud_altitude < lift_ceiling && cloud_altitude > 0)
        lift_ceiling = cloud_altitude;
    else if (cloud_type == 9 && cloud_altitude < 6096)
        lift_ceiling = cloud_altitude;
}

void renew_expired() {
    std::uint32_t now = sim_clock_seconds();
    for (int slot = 0; slot < active_slots; ++slot)
        if (now - active_thermals[slot].birth_time > active_thermals[slot].lifetime) generate_thermal(slot, renew);
}

void renew_after_clock_jump(std::uint32_t now) {
    for (int slot = 0; slot < active_slots; ++slot)
        if (now < active_thermals[slot].birth_time) generate_thermal(slot, scatter);
}
