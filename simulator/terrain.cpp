#include "terrain.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double metres_per_degree = 1852.0 * 60;
constexpr std::size_t most_grid_points = 4000000;

struct ridge {
    double lat, lon, azimuth, length, height, width;
};

height_grid grid;
std::vector<ridge> ridges;

double ridge_height(const ridge& r, double lat, double lon) {
    double north = (lat - r.lat) * metres_per_degree;
    double east = (lon - r.lon) * metres_per_degree * std::cos(r.lat * pi / 180);
    double a = r.azimuth * pi / 180;
    double along = north * std::cos(a) + east * std::sin(a);
    double across = -north * std::sin(a) + east * std::cos(a);
    if (std::fabs(across) >= r.width / 2 || std::fabs(along) >= r.length / 2 + r.width) return 0;
    double shape = std::cos(pi * across / r.width);
    double beyond_end = std::fabs(along) - r.length / 2;
    double end_fade = beyond_end <= 0 ? 1.0 : std::cos(pi / 2 * beyond_end / r.width);
    return r.height * shape * shape * end_fade * end_fade;
}

bool fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

}  // namespace

double height_grid::height_at(double lat, double lon) const {
    double y = std::clamp((lat - south) / step, 0.0, rows - 1.0);
    // A grid may reach past the 180th meridian: a longitude counts from the
    // grid's west edge the short way round.
    double east_of_west = std::remainder(lon - west, 360.0);
    double x = std::clamp(east_of_west / step, 0.0, columns - 1.0);
    int r = std::min(static_cast<int>(y), rows - 2 < 0 ? 0 : rows - 2);
    int c = std::min(static_cast<int>(x), columns - 2 < 0 ? 0 : columns - 2);
    auto at = [this](int row, int column) {
        row = std::min(row, rows - 1), column = std::min(column, columns - 1);
        return metres[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) + static_cast<std::size_t>(column)];
    };
    double fy = y - r, fx = x - c;
    double south_edge = at(r, c) * (1 - fx) + at(r, c + 1) * fx;
    double north_edge = at(r + 1, c) * (1 - fx) + at(r + 1, c + 1) * fx;
    return south_edge * (1 - fy) + north_edge * fy;
}

bool load_height_grid(const std::string& path, std::string* error) {
    std::ifstream file(path);
    if (!file) return fail(error, "cannot open the height grid " + path);
    std::ostringstream text;
    for (std::string line; std::getline(file, line);) text << line.substr(0, line.find('#')) << '\n';
    std::istringstream in(text.str());
    height_grid g;
    std::string key;
    for (int i = 0; i < 5 && in >> key; ++i) {
        if (key == "south") in >> g.south;
        else if (key == "west") in >> g.west;
        else if (key == "step") in >> g.step;
        else if (key == "rows") in >> g.rows;
        else if (key == "columns") in >> g.columns;
        else return fail(error, path + ": unknown word \"" + key + "\" in the grid's header");
    }
    if (!in || g.step <= 0 || g.rows < 1 || g.columns < 1 ||
        static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.columns) > most_grid_points)
        return fail(error, path + ": the header needs south, west, step > 0, rows and columns (at most 4 million points)");
    g.metres.resize(static_cast<std::size_t>(g.rows) * static_cast<std::size_t>(g.columns));
    for (double& m : g.metres)
        if (!(in >> m)) return fail(error, path + ": fewer heights than rows x columns");
    grid = std::move(g);
    return true;
}

void add_ridge(double lat_deg, double lon_deg, double azimuth_deg, double length_m, double height_m, double width_m) {
    ridges.push_back({lat_deg, lon_deg, azimuth_deg, length_m, height_m, width_m});
}

double terrain_height(double lat_deg, double lon_deg, double flat_ground_m) {
    double h = grid.metres.empty() ? flat_ground_m : grid.height_at(lat_deg, lon_deg);
    for (const ridge& r : ridges) h += ridge_height(r, lat_deg, lon_deg);
    return h;
}

void reset_terrain() {
    grid = height_grid{};
    ridges.clear();
}

}  // namespace sim
