// The stand-in's soaring pilot flying FlightGear's sailplane: it reads what
// the snapshot brought (position, heading, variometer, the program's texts)
// and its bank and airspeed go to the sailplane's holds
// (/skarvo/autopilot/..., see bridge/aircraft/skarvo-sailplane).
#pragma once

#include "mapping.h"
#include "pilot.h"
#include "props_client.h"

#include <utility>
#include <vector>

namespace bridge {

// The pilot looks up and down wind for rising ground before it circles:
// over FlightGear it sees FlightGear's ground, a grid of heights around the
// aircraft (about 6 km each way, every 220 m) taken at the start. False
// when FlightGear does not answer.
bool load_flightgear_terrain(props_client& fg);

// Hands the sailplane to the pilot, with turnpoints (latitude, longitude)
// to fly between climbs. Called with the world locked.
void start_autopilot(sim::pilot_sight sight, const std::vector<std::pair<double, double>>& task);

// The pilot's flying over `seconds` of FlightGear's time, and the settings
// of the holds that changed. Called with the world locked.
std::vector<property_set> autopilot_step(double seconds);

// Calibrated knots for the holds from the pilot's airspeed.
double hold_knots(double airspeed_mps);

}  // namespace bridge
