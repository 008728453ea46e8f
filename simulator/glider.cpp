#include "glider.h"

#include <cmath>

namespace sim {

namespace {
constexpr double pi = 3.14159265358979323846;
double mps(double kmh) { return kmh / 3.6; }
}  // namespace

polar polar_through(double v1_kmh, double s1, double v2_kmh, double s2, double v3_kmh, double s3) {
    double x1 = mps(v1_kmh), x2 = mps(v2_kmh), x3 = mps(v3_kmh);
    double d = (x1 - x2) * (x1 - x3) * (x2 - x3);
    polar p;
    p.a = (x3 * (s2 - s1) + x2 * (s1 - s3) + x1 * (s3 - s2)) / d;
    p.b = (x3 * x3 * (s1 - s2) + x2 * x2 * (s3 - s1) + x1 * x1 * (s2 - s3)) / d;
    p.c = (x2 * x3 * (x2 - x3) * s1 + x3 * x1 * (x3 - x1) * s2 + x1 * x2 * (x1 - x2) * s3) / d;
    return p;
}

polar standard_class_polar() { return polar_through(80, 0.62, 110, 0.85, 160, 1.9); }

double sink_at(const polar& p, double v) { return p.a * v * v + p.b * v + p.c; }

double best_glide_speed(const polar& p) { return p.a > 0 && p.c > 0 ? std::sqrt(p.c / p.a) : 25.0; }

double min_sink_speed(const polar& p) { return p.a > 0 ? -p.b / (2 * p.a) : 20.0; }

double turning_sink(const polar& p, double airspeed_mps, double bank_deg) {
    double load = std::cos(bank_deg * pi / 180);
    return sink_at(p, airspeed_mps) / std::pow(load, 1.5);
}

double turn_rate_deg(double airspeed_mps, double bank_deg) {
    if (airspeed_mps <= 0) return 0;
    return gravity * std::tan(bank_deg * pi / 180) / airspeed_mps * 180 / pi;
}

}  // namespace sim
