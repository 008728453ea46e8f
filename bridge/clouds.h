// The cumulus over the program's thermals in FlightGear. The bridge reads
// the thermals the program publishes, keeps one cloud per thermal worth
// marking in one of eight slots, and sets the slot's properties for the
// add-on, which draws them:
//
//   /skarvo/clouds/cloud[i]/serial         0 = none
//   /skarvo/clouds/cloud[i]/latitude-deg, longitude-deg
//   /skarvo/clouds/cloud[i]/base-ft        the thermal's top
//   /skarvo/clouds/cloud[i]/width-m
//   /skarvo/clouds/update                  counts the changes, set after them
#pragma once

#include "mapping.h"
#include "thermal_clouds.h"

#include <vector>

namespace bridge {

constexpr int cloud_slots = 8;

// The sets that bring FlightGear's clouds to the thermals published now
// (world locked): none while no program is attached or on a blue day, so
// that the clouds go with the program.
std::vector<property_set> cloud_sets(bool attached, bool blue);

// The clouds the add-on shows now, as the sets sent have placed them.
std::vector<sim::cumulus> clouds_on_show();

void forget_clouds();

}  // namespace bridge
