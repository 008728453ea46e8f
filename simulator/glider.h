// The stand-in's glider: a standard-class sailplane flown by its controls
// (airspeed, heading, bank) through the wind, sinking by its polar and
// rising with the vertical air the program writes.
#pragma once

namespace sim {

// Sink in still air over airspeed: a parabola through three points.
struct polar {
    double a = 0, b = 0, c = 0;  // sink m/s = a v^2 + b v + c, v in m/s
};

// The parabola through (speed km/h, sink m/s) three times.
polar polar_through(double v1_kmh, double s1, double v2_kmh, double s2, double v3_kmh, double s3);
polar standard_class_polar();  // 80 km/h 0.62 m/s, 110 km/h 0.85 m/s, 160 km/h 1.9 m/s

double sink_at(const polar& p, double airspeed_mps);
double best_glide_speed(const polar& p);  // m/s
double min_sink_speed(const polar& p);    // m/s

struct glider_state {
    bool flying = false;        // the flight model moves the aircraft
    bool landed = false;
    polar shape = standard_class_polar();
    double airspeed_mps = 0.0;  // true airspeed
    double heading_deg = 0.0;   // true
    double bank_deg = 0.0;      // positive turns right
    double climb_mps = 0.0;     // what the variometer shows
    double time_left = 0.0;     // simulated seconds not yet stepped
};

// The fixed step of the flight model, seconds.
constexpr double glider_step_seconds = 0.1;

constexpr double gravity = 9.81;

// Sink with the load factor of a turn at this bank.
double turning_sink(const polar& p, double airspeed_mps, double bank_deg);

// Degrees per second a turn at this bank and airspeed.
double turn_rate_deg(double airspeed_mps, double bank_deg);

}  // namespace sim
