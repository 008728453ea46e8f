// The thermals a program publishes for its companions (when its settings
// ask it to), as the stand-in and the FlightGear bridge read them from the
// offset space, and the cumulus each shows over a thermal worth marking.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

struct published_column {
    std::uint32_t serial;     // changes when the slot takes a new thermal
    double lat_deg, lon_deg;  // the column at its top
    double top_m;
    double radius_m;
    double strength_mps;      // now, with the time of day and its life
};

// The published thermals in the offset space now (world locked); none when
// the program publishes nothing.
std::vector<published_column> published_columns();

// A cumulus: its base at the thermal's top, centred over the column there,
// as wide as the thermal at full strength, narrower while it grows or dies.
struct cumulus {
    std::uint32_t serial;
    double lat_deg, lon_deg;
    double base_m;
    double width_m;
};

// Weaker thermals are left unmarked, as a day's weakest thermals carry no cloud.
constexpr double marked_strength_mps = 0.5;
// A thermal this strong or stronger has its full-grown cloud.
constexpr double full_cloud_strength_mps = 2.0;

bool cumulus_over(const published_column& t, cumulus* c);

// The clouds over the published thermals now (world locked).
std::vector<cumulus> clouds_shown();

}  // namespace sim
