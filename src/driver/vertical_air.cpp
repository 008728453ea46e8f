#include "driver/vertical_air.h"

#include "config/settings.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "terrain/ridge_lift.h"
#include "thermals/geometry.h"

#include <cstdlib>

double last_vertical_air_speed = 0.0;
std::uint32_t scenery_lift_time = 0;

namespace {
constexpr double own_write_marker = 100.0;
constexpr double greatest_step = 0.1;  // m/s per write inside a thermal
}  // namespace

double inversion_factor() {
    if (inversion_strength == 0) return 1.0;
    std::int64_t d = std::llabs(metres_between(aircraft_altitude, inversion_altitude));
    if (d >= inversion_half_thickness) return 1.0;
    return 1.0 - inversion_strength * (1.0 - static_cast<double>(d) / inversion_half_thickness);
}

double scenery_lift() {
    double seen = 0.0;
    link_read(off_vertical_air_read.offset, off_vertical_air_read.bytes, &seen, &link_result);
    link_process(&link_result);
    if (seen == last_vertical_air_speed && sim_clock_seconds() - scenery_lift_time <= 2) return own_write_marker;
    return seen;
}

double limit_rate(double v) {
    if (v - last_vertical_air_speed > greatest_step) return last_vertical_air_speed + greatest_step;
    if (last_vertical_air_speed - v > greatest_step) return last_vertical_air_speed - greatest_step;
    return v;
}

void write_vertical_air_speed(double lift, std::int16_t in_thermal) {
    double v;
    if (scenery_lift_enabled == 1) {
        double scenery = scenery_lift();
        // The simulator still shows our last write: nothing to add it to.
        if (scenery >= 99.0) return;
        v = inversion_factor() * (lift + scenery) + ridge_lift();
        scenery_lift_time = sim_clock_seconds();
    } else if (in_thermal == 1) {
        v = limit_rate(ridge_lift() + inversion_factor() * lift);
    } else {
        v = ridge_lift() + inversion_factor() * lift;
    }
    link_write(off_vertical_air_write.offset, off_vertical_air_write.bytes, &v, &link_result);
    link_process(&link_result);
    last_vertical_air_speed = v;
}

void reset_vertical_air() {
    last_vertical_air_speed = 0.0;
    scenery_lift_time = 0;
}
