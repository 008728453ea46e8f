// Building the shared thermal file from the thermal-map project file or at
// random over an area and a time window.
#pragma once

#include <cstdint>

// Start and stop of the soarable period (seconds since midnight), the
// thermal source (0..2), the north, south, west and east edges (radians),
// the thermal coverage and the north-south and east-west extents (miles).
void create_multiplayer_file(std::uint32_t start, std::uint32_t stop, int thermal_source, float north, float south,
                             float west, float east, float coverage, float north_south_miles, float east_west_miles);
