// FlightGear's ground height at points of its loaded scenery, asked through
// the probe of Skarvo's FlightGear add-on without moving the aircraft: a
// few sets and one get, answered in the same frame.
//
// Measured here (FlightGear 2020.3, undrawn at about 210 frames/s, its
// property server served 200 times a second), 60 points on the Waianae
// range's northern face: the probe answered in 17.6 ms on average; moving
// the held aircraft there and reading /position/ground-elev-m gave the new
// ground at the first read, 56 ms after the sets on average, and the
// aircraft settled beside the point written: its ground differed from the
// point's by 0.6 m on average, 1.9 m at most.
#pragma once

#include "props_client.h"

#include <string>
#include <vector>

namespace bridge {

enum class probe_outcome { height, no_scenery, no_probe, failed };

// The ground's height in metres at one point. no_scenery while FlightGear
// has not loaded the scenery there; no_probe when FlightGear runs without
// the probe (FlightGear started without the add-on); failed when it does not
// answer.
probe_outcome probe_point(props_client& fg, double lat_deg, double lon_deg, double* metres);

struct grid_area {
    double south_deg = 0, west_deg = 0, step_deg = 0;
    int rows = 0, columns = 0;
};

// Heights of a grid of points, row by row from the south, each row from the
// west; a point without scenery is NaN. False when FlightGear does not answer.
bool probe_grid(props_client& fg, const grid_area& area, std::vector<double>* metres);

// Points of the terrain scan's grid: every latitude with every longitude,
// latitude by latitude; at most 1,500 points (FlightGear's property server
// drops what does not fit in 16 KB of answers at a time) and 1,600 of either.
struct ground_block {
    std::vector<float> latitudes, longitudes;
    std::size_t size() const { return latitudes.size() * longitudes.size(); }
};

// How many blocks go at once, each on a connection of its own: FlightGear's
// property server sends a connection about 512 bytes a frame.
constexpr std::size_t most_blocks_at_once = 4;

// The ground of up to most_blocks_at_once blocks in whole metres (as the
// ground offset holds them), NaN where there is no scenery; block k is
// asked on links[k]. no_probe when the add-on has no block probe (an older
// one).
probe_outcome probe_blocks(const std::vector<props_client*>& links, const std::vector<ground_block>& blocks,
                           std::vector<std::vector<double>>* metres);

// A block's answer ("REQUEST " and the encoded whole metres), when it
// answers `request` and holds `count` of them.
bool parse_block_answer(const std::string& answer, long request, std::size_t count, std::vector<double>* metres);

// An answer's heights ("REQUEST h h ..." with "none" where there is no
// scenery), when it answers `request` and holds `count` of them.
bool parse_probe_answer(const std::string& answer, long request, std::size_t count, std::vector<double>* metres);

}  // namespace bridge
