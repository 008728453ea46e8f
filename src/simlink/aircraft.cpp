// Aircraft position, altitude and the simulator clock.
#include "simlink/aircraft.h"

#include "driver/session.h"
#include "simlink/link.h"
#include "simlink/offsets.h"

double aircraft_latitude = 0.0;
double aircraft_longitude = 0.0;
std::int32_t aircraft_altitude = 0;

namespace {
std::uint32_t last_clock_seconds = 0;
}

double position_units(std::uint32_t low_word, std::int32_t high_word) {
    double fraction = low_word / 4294967296.0;
    return high_word >= 1 ? high_word + fraction : high_word - fraction;
}

void read_aircraft_position() {
    std::uint32_t low = 0;
    std::int32_t high = 0;
    link_read(off_latitude_low.offset, 4, &low, &link_result);
    link_read(off_latitude_high.offset, 4, &high, &link_result);
    link_read(off_altitude.offset, 4, &aircraft_altitude, &link_result);
    bool ok = link_process(&link_result);
    if (link_result == link_send_failed) running = 0;
    if (ok) aircraft_latitude = position_units(low, high) / latitude_units_per_radian;

    link_read(off_longitude_low.offset, 4, &low, &link_result);
    link_read(off_longitude_high.offset, 4, &high, &link_result);
    if (link_process(&link_result)) aircraft_longitude = position_units(low, high) / longitude_units_per_radian;
}

std::uint32_t sim_clock_seconds() {
    signed char time_of_day[3] = {};
    link_read(off_time_of_day.offset, 3, time_of_day, &link_result);
    if (link_process(&link_result))
        last_clock_seconds = static_cast<std::uint32_t>(time_of_day[0] * 3600 + time_of_day[1] * 60 + time_of_day[2]);
    return last_clock_seconds;
}

std::uint32_t last_sim_clock_seconds() { return last_clock_seconds; }

void read_time_of_day(std::uint32_t* seconds, std::int32_t* minute) {
    signed char time_of_day[3] = {};
    link_read(off_time_of_day.offset, 3, time_of_day, &link_result);
    if (!link_process(&link_result)) return;
    *seconds = static_cast<std::uint32_t>(time_of_day[0] * 3600 + time_of_day[1] * 60 + time_of_day[2]);
    *minute = time_of_day[0] * 60 + time_of_day[1];
}
