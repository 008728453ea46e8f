// The stand-in's soaring pilot flying FlightGear's sailplane: it reads what
// the snapshot brought (position, heading, variometer, the program's texts)
// and its bank and airspeed go to the sailplane's holds
// (/skarvo/autopilot/..., see bridge/aircraft/skarvo-sailplane).
#pragma once

#include "mapping.h"

#include <vector>

namespace bridge {

// Hands the sailplane to the pilot. Called with the world locked.
void start_autopilot();

// The pilot's flying over `seconds` of FlightGear's time, and the settings
// of the holds that changed. Called with the world locked.
std::vector<property_set> autopilot_step(double seconds);

// Calibrated knots for the holds from the pilot's airspeed.
double hold_knots(double airspeed_mps);

}  // namespace bridge
