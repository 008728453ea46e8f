// The terrain scan's ground, fetched from FlightGear ahead of the aircraft.
//
// The scan puts the aircraft on a grid of single-precision points, each
// edge + k/1200 degrees, row by row from the south, even rows eastward and
// odd rows westward, a new row starting where the last one ended. The
// bridge learns that grid from the points written (a scan's first point is
// its south-western one, the first row's end gives its width), asks
// FlightGear for the heights of the points ahead in blocks, and answers a
// point written from them. A point off the grid learned starts a new one;
// a point is answered only from the height of that very point.
//
// Called with the world's lock held.
#pragma once

#include "terrain_probe.h"

#include <cstddef>

namespace bridge {

// The aircraft was put on this point. True, with its height, when a block
// brought that already.
bool ground_fetched_for(double lat_deg, double lon_deg, double* metres);

// Whether a block is on its way for this point of the grid (or will be
// asked for next): no single probe is needed for it.
bool ground_coming_for(double lat_deg, double lon_deg);

// The next block worth asking for: the points ahead of the aircraft not
// asked for yet, at most `most_points` of them and `most_longitudes`
// longitudes; empty when every point within reach has been asked for.
ground_block next_ground_block(std::size_t most_points, std::size_t most_longitudes);

// A block's heights, in its order; NaN where FlightGear had no scenery.
void store_ground_block(const ground_block& block, const std::vector<double>& metres);

// Whether a block found no scenery at this point of the grid.
bool ground_lacks_scenery_at(double lat_deg, double lon_deg);

// The scenery may have come (FlightGear loads it around the aircraft): the
// points just ahead that a block found without it are asked for again.
void ask_again_where_scenery_was_missing();

// Where FlightGear's aircraft is best held during a scan: over the middle
// of the grid's rows, at the row of the points asked for last, and how far
// from there its rows reach east and west (FlightGear loads the scenery
// within a range of its aircraft, so that the rows are loaded all along,
// ahead of the scan; half_row_m may be null). False while the grid's width
// is not known.
bool scan_viewpoint(double* lat_deg, double* lon_deg, double* half_row_m);

// Forgets the grid and every height (a new bridge session, tests).
void forget_ground();

}  // namespace bridge
