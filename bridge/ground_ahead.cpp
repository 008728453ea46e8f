#include "ground_ahead.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace bridge {

namespace {

// How far ahead of the aircraft, in points of the scan, heights are asked
// for: four full answers, so that FlightGear is asked for more while the
// program scans what came. While the first row's width is not known, less
// and in smaller blocks: a grid begun by a point before the scan, and the
// first row past its end, are asked for in vain.
constexpr std::size_t look_ahead_points = 4 * 1500;
constexpr std::size_t first_row_look_ahead = 600, first_row_block = 300;
// FlightGear loads the scenery around the aircraft: of the points found
// without it, those the scan comes to soon are asked for again.
constexpr std::size_t ask_again_points = 1500;
constexpr double largest_index = 1 << 24;
constexpr double metres_per_degree = 1852.0 * 60, pi = 3.14159265358979323846;

enum class fetched : unsigned char { not_yet, asked, height, no_scenery };

struct ground_point {
    fetched state = fetched::not_yet;
    double metres = 0;
};

struct scan_grid {
    bool known = false;
    float south = 0, west = 0;  // the grid's first point
    int columns = 0;            // 0 while the first row goes on
    int widest = 0;             // the first row's easternmost column so far
    int row = 0, column = 0;    // the aircraft's point
};

struct cursor {
    int row = 0, column = 0;
};

// Where the last block ended: the points between the aircraft and it have
// all been asked for.
cursor frontier;

scan_grid grid;
std::map<int, std::vector<ground_point>> rows;  // the rows not yet left behind

// As the scan computes its points, in single precision.
float grid_point(float edge, int k) { return edge + static_cast<float>(k) / 1200.0f; }

bool index_on(float edge, float value, int* k) {
    double steps = (static_cast<double>(value) - edge) * 1200.0;
    if (!(steps > -0.5 && steps < largest_index)) return false;
    *k = static_cast<int>(std::lround(steps));
    return grid_point(edge, *k) == value;
}

bool on_grid(float lat, float lon, int* row, int* column) {
    return grid.known && index_on(grid.south, lat, row) && index_on(grid.west, lon, column) &&
           (grid.columns == 0 || *column < grid.columns);
}

ground_point& point_at(cursor c) {
    std::vector<ground_point>& row = rows[c.row];
    if (row.size() <= static_cast<std::size_t>(c.column)) row.resize(static_cast<std::size_t>(c.column) + 1);
    return row[static_cast<std::size_t>(c.column)];
}

void went_to(double lat_deg, double lon_deg, cursor* at) {
    float lat = static_cast<float>(lat_deg), lon = static_cast<float>(lon_deg);
    if (!on_grid(lat, lon, &at->row, &at->column)) {
        grid = scan_grid{true, lat, lon, 0, 0, 0, 0};
        rows.clear();
        *at = frontier = cursor{};
    }
    if (grid.columns == 0 && at->row == 0) grid.widest = std::max(grid.widest, at->column);
    if (grid.columns == 0 && at->row > 0) {
        grid.columns = grid.widest + 1;
        frontier = *at;
    }
    grid.row = at->row;
    grid.column = at->column;
    rows.erase(rows.begin(), rows.lower_bound(at->row - 1));
}

bool eastward(int row) { return row % 2 == 0; }

// The point the scan visits after this one; while the first row's width is
// not known, the row goes on eastward.
cursor next_of(cursor c) {
    if (grid.columns == 0) return {c.row, c.column + 1};
    if (eastward(c.row) && c.column + 1 < grid.columns) return {c.row, c.column + 1};
    if (!eastward(c.row) && c.column > 0) return {c.row, c.column - 1};
    return {c.row + 1, c.column};
}

// How many points the scan visits from its first point to this one.
long order_of(cursor c) {
    if (grid.columns == 0) return c.column;
    return static_cast<long>(c.row) * grid.columns + (eastward(c.row) ? c.column : grid.columns - 1 - c.column);
}

bool row_untouched(int row) {
    for (int j = 0; j < grid.columns; ++j)
        if (point_at({row, j}).state != fetched::not_yet) return false;
    return true;
}

// Whole rows from `first` on, every longitude of them.
ground_block whole_rows(int first, std::size_t most_points) {
    ground_block block;
    for (int j = 0; j < grid.columns; ++j) block.longitudes.push_back(grid_point(grid.west, j));
    for (int i = first; (block.latitudes.size() + 1) * block.longitudes.size() <= most_points && row_untouched(i); ++i) {
        block.latitudes.push_back(grid_point(grid.south, i));
        for (int j = 0; j < grid.columns; ++j) point_at({i, j}).state = fetched::asked;
    }
    return block;
}

// The points of one row not asked for yet, from `from` on in the scan's
// direction.
ground_block along_the_row(cursor from, std::size_t most) {
    ground_block block;
    block.latitudes.push_back(grid_point(grid.south, from.row));
    for (cursor c = from; c.row == from.row && block.longitudes.size() < most; c = next_of(c)) {
        ground_point& p = point_at(c);
        if (p.state != fetched::not_yet) continue;
        block.longitudes.push_back(grid_point(grid.west, c.column));
        p.state = fetched::asked;
    }
    return block;
}

}  // namespace

bool ground_fetched_for(double lat_deg, double lon_deg, double* metres) {
    cursor at;
    went_to(lat_deg, lon_deg, &at);
    const ground_point& p = point_at(at);
    if (p.state != fetched::height) return false;
    *metres = p.metres;
    return true;
}

bool ground_coming_for(double lat_deg, double lon_deg) {
    cursor at;
    if (!on_grid(static_cast<float>(lat_deg), static_cast<float>(lon_deg), &at.row, &at.column)) return false;
    fetched state = point_at(at).state;
    return state == fetched::not_yet || state == fetched::asked;
}

ground_block next_ground_block(std::size_t most_points, std::size_t most_longitudes) {
    if (!grid.known) return {};
    cursor at{grid.row, grid.column}, c = order_of(frontier) > order_of(at) ? frontier : at;
    long reach = order_of(at) + static_cast<long>(grid.columns > 0 ? look_ahead_points : first_row_look_ahead);
    while (order_of(c) < reach && point_at(c).state != fetched::not_yet) c = next_of(c);
    if (order_of(c) >= reach) return {};
    frontier = c;
    if (grid.columns == 0) most_longitudes = std::min(most_longitudes, first_row_block);
    bool row_start = grid.columns > 0 && c.column == (eastward(c.row) ? 0 : grid.columns - 1);
    if (row_start && static_cast<std::size_t>(grid.columns) <= std::min(most_points, most_longitudes) &&
        row_untouched(c.row))
        return whole_rows(c.row, most_points);
    return along_the_row(c, std::min(most_points, most_longitudes));
}

void store_ground_block(const ground_block& block, const std::vector<double>& metres) {
    if (!grid.known || metres.size() != block.size()) return;
    std::size_t n = 0;
    for (float lat : block.latitudes)
        for (float lon : block.longitudes) {
            double h = metres[n++];
            cursor c;
            if (!on_grid(lat, lon, &c.row, &c.column) || c.row < grid.row - 1) continue;
            ground_point& p = point_at(c);
            if (p.state == fetched::height) continue;
            p.state = std::isnan(h) ? fetched::no_scenery : fetched::height;
            p.metres = h;
        }
}

bool ground_lacks_scenery_at(double lat_deg, double lon_deg) {
    cursor at;
    return on_grid(static_cast<float>(lat_deg), static_cast<float>(lon_deg), &at.row, &at.column) &&
           point_at(at).state == fetched::no_scenery;
}

void ask_again_where_scenery_was_missing() {
    if (!grid.known) return;
    cursor c{grid.row, grid.column};
    for (std::size_t k = 0; k < ask_again_points; ++k, c = next_of(c))
        if (point_at(c).state == fetched::no_scenery) point_at(c).state = fetched::not_yet;
    frontier = cursor{grid.row, grid.column};
}

bool scan_viewpoint(double* lat_deg, double* lon_deg, double* half_row_m) {
    if (!grid.known || grid.columns == 0) return false;
    *lat_deg = grid_point(grid.south, std::max(frontier.row, grid.row));
    *lon_deg = grid_point(grid.west, grid.columns / 2);
    if (half_row_m) *half_row_m = grid.columns / 2.0 / 1200.0 * metres_per_degree * std::cos(*lat_deg * pi / 180);
    return true;
}

void forget_ground() {
    grid = scan_grid{};
    rows.clear();
    frontier = cursor{};
}

}  // namespace bridge
