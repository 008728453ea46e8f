// The terrain scan: the aircraft is slewed over an area in a zig-zag, the
// ground elevation is sampled at every 3-arc-second grid point, and the
// slope (aspect and inclination) of every point is written as the slope
// data file skv-slope.dat, in "Import" when that folder exists.
#pragma once

// The north, south, west and east edges (radians), whether to keep the
// elevation file, and how long to let the simulator settle at each sample.
void make_topo(float north, float south, float west, float east, int keep_elevation_file, float settle_seconds);

// Puts the aircraft at the latitude or longitude, degrees.
void set_aircraft_latitude(double degrees);
void set_aircraft_longitude(double degrees);

// One slope sample from the elevations of a point's four neighbours
// (metres) and the area's northern boundary (degrees): aspect and slope
// codes, 0..15 each.
struct slope_codes {
    int aspect, slope;
};
slope_codes slope_of(int north, int south, int east, int west, float northern_boundary);
