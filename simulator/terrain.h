// The stand-in's terrain: flat ground at the scenario's elevation, or a
// height grid loaded from a file, plus analytic ridges.
//
// A height grid file is text; `#` starts a comment:
//
//   south LAT       latitude of the first row, degrees
//   west LON        longitude of the first column, degrees
//   step DEG        spacing of rows and columns, degrees
//   rows N
//   columns M
//   then N rows of M heights in metres, the southernmost row first
//
// Between the points the height is bilinear; outside the grid it is the
// nearest edge's. A ridge is a crest along an azimuth, `length` long, with a
// cosine-squared cross-section `width` wide and `height` high above the
// ground it stands on, fading out over its last width at both ends.
#pragma once

#include <string>
#include <vector>

namespace sim {

// Heights every `step` degrees from the south-west corner, the southernmost
// row first.
struct height_grid {
    double south = 0, west = 0, step = 0;
    int rows = 0, columns = 0;
    std::vector<double> metres;
    // Bilinear between the points, the nearest edge's outside the grid.
    double height_at(double lat_deg, double lon_deg) const;
};

bool load_height_grid(const std::string& path, std::string* error);

void add_ridge(double lat_deg, double lon_deg, double azimuth_deg, double length_m, double height_m, double width_m);

// Metres above sea level at the point, over the scenario's flat ground.
double terrain_height(double lat_deg, double lon_deg, double flat_ground_m);

void reset_terrain();

}  // namespace sim
