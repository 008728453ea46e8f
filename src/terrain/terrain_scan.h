// The terrain scan: the aircraft is slewed over an area, the ground is
// sampled and a slope data file is written.
#pragma once

// The north, south, west and east edges (radians), whether to keep the
// elevation file, and how long to let the simulator settle at each sample.
void make_topo(float north, float south, float west, float east, int keep_elevation_file, float settle_seconds);
