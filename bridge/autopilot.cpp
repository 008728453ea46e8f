#include "autopilot.h"

#include "pilot.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bridge {

namespace {

constexpr double pilot_step_seconds = 0.1;
constexpr double longest_gap_seconds = 5;  // a longer pause in FlightGear's time is not flown through
constexpr double knots_per_mps = 1 / 0.514444;

struct sent_holds {
    bool engaged = false;
    double bank_deg = 1e9, knots = 1e9;
};
sent_holds sent;

std::string formatted(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

void start_autopilot() {
    sim::start_pilot(true);
    // FlightGear flies the sailplane: the stand-in's own flight model stays still.
    sim::world.glider.flying = false;
    sent = sent_holds{};
}

double hold_knots(double airspeed_mps) { return airspeed_mps * knots_per_mps; }

std::vector<property_set> autopilot_step(double seconds) {
    for (double left = std::min(seconds, longest_gap_seconds); left > 1e-9; left -= pilot_step_seconds)
        sim::pilot_step(std::min(pilot_step_seconds, left));
    const sim::glider_state& g = sim::world.glider;
    std::vector<property_set> sets;
    if (std::fabs(g.bank_deg - sent.bank_deg) >= 0.5) {
        sent.bank_deg = g.bank_deg;
        sets.push_back({"/skarvo/autopilot/bank-deg", formatted(g.bank_deg)});
    }
    double knots = hold_knots(g.airspeed_mps);
    if (std::fabs(knots - sent.knots) >= 0.2) {
        sent.knots = knots;
        sets.push_back({"/skarvo/autopilot/airspeed-kt", formatted(knots)});
    }
    if (!sent.engaged) {
        sent.engaged = true;
        sets.push_back({"/skarvo/autopilot/engaged", "true"});
    }
    return sets;
}

}  // namespace bridge
