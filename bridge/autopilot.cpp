#include "autopilot.h"

#include "clouds.h"
#include "pilot.h"
#include "terrain.h"
#include "terrain_probe.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bridge {

namespace {

constexpr double pilot_step_seconds = 0.1;
constexpr double longest_gap_seconds = 5;  // a longer pause in FlightGear's time is not flown through
constexpr double knots_per_mps = 1 / 0.514444;
constexpr double terrain_half_width_deg = 0.06;
constexpr double terrain_step_deg = 0.002;

struct sent_holds {
    bool engaged = false;
    double bank_deg = 1e9, knots = 1e9;
};
sent_holds sent;
sim::height_grid flightgear_ground;

double flightgear_ground_at(double lat_deg, double lon_deg) { return flightgear_ground.height_at(lat_deg, lon_deg); }

std::string two_decimals(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

bool load_flightgear_terrain(props_client& fg) {
    grid_area area;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        area.south_deg = sim::world.latitude_deg - terrain_half_width_deg;
        area.west_deg = sim::world.longitude_deg - terrain_half_width_deg;
    }
    area.step_deg = terrain_step_deg;
    area.rows = area.columns = static_cast<int>(std::lround(2 * terrain_half_width_deg / terrain_step_deg)) + 1;
    std::vector<double> metres;
    if (!probe_grid(fg, area, &metres)) return false;
    for (double& m : metres)
        if (std::isnan(m)) m = 0;  // no scenery loaded there: FlightGear shows sea
    flightgear_ground = {area.south_deg, area.west_deg, area.step_deg, area.rows, area.columns, std::move(metres)};
    sim::set_pilot_ground(flightgear_ground_at);
    return true;
}

void start_autopilot(sim::pilot_sight sight, const std::vector<std::pair<double, double>>& task) {
    sim::start_pilot(sight);
    sim::set_pilot_clouds(clouds_on_show);  // the clouds FlightGear shows
    for (const auto& [lat, lon] : task) sim::add_turnpoint(lat, lon);
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
        sets.push_back({"/skarvo/autopilot/bank-deg", two_decimals(g.bank_deg)});
    }
    double knots = hold_knots(g.airspeed_mps);
    if (std::fabs(knots - sent.knots) >= 0.2) {
        sent.knots = knots;
        sets.push_back({"/skarvo/autopilot/airspeed-kt", two_decimals(knots)});
    }
    if (!sent.engaged) {
        sent.engaged = true;
        sets.push_back({"/skarvo/autopilot/engaged", "true"});
    }
    return sets;
}

}  // namespace bridge
