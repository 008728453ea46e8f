// Slope tiles and ridge lift. The world is cut into cells of a quarter
// degree; each cell's tile in "Slope Data" holds 300 x 300 samples on the
// 3-arc-second grid, row 0 at the cell's southern edge, column 0 at its
// western edge, each sample two hexadecimal digits: the aspect code (the
// direction the slope faces, in steps of 22.5 degrees from north) and the
// slope code (the inclination in steps of 6 degrees).
#pragma once

#include <string>

constexpr const char* slope_folder = "Slope Data";
constexpr int tile_rows = 300;
constexpr int tile_columns = 300;
constexpr long tile_row_bytes = 2L * tile_columns;
constexpr long tile_bytes = tile_row_bytes * tile_rows;

// The ridge lift at the aircraft, m/s; 0 where there is no slope tile.
float ridge_lift();

// The tile's file name for the cell with southern edge `south` and western
// edge `west`, degrees: N45.25E006.50.slo.
std::string slope_tile_name(float south, float west);

// The western edge of a cell on the 180th meridian is taken as -180, so
// that the lookup and the import name that one cell alike (W180.00).
float cell_west_edge(float west);
