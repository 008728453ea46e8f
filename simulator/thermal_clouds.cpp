#include "thermal_clouds.h"

#include "simlink/thermal_publication.h"
#include "world.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double degrees_per_radian = 57.29577951308232;
constexpr double metres_per_mile = 1609.344;

}  // namespace

std::vector<published_column> published_columns() {
    thermal_publication block{};
    read_offsets(publication_offset, publication_bytes, reinterpret_cast<unsigned char*>(&block));
    std::vector<published_column> found;
    if (block.publications == 0) return found;
    for (const published_thermal& r : block.record) {
        bool sound = std::isfinite(r.lat_rad) && std::isfinite(r.lon_rad) && std::isfinite(r.radius_miles) &&
                     std::isfinite(r.strength_mps) && std::fabs(r.lat_rad) <= 1.58 && std::fabs(r.lon_rad) <= 7;
        if (r.serial == 0 || !sound) continue;
        found.push_back({r.serial, r.lat_rad * degrees_per_radian, std::remainder(r.lon_rad * degrees_per_radian, 360.0),
                         static_cast<double>(r.top_m), r.radius_miles * metres_per_mile, r.strength_mps});
    }
    return found;
}

bool cumulus_over(const published_column& t, cumulus* c) {
    if (!(t.strength_mps >= marked_strength_mps) || !(t.radius_m > 0)) return false;
    double grown = std::min(1.0, t.strength_mps / full_cloud_strength_mps);
    *c = {t.serial, t.lat_deg, t.lon_deg, t.top_m, 2 * t.radius_m * grown};
    return true;
}

std::vector<cumulus> clouds_shown() {
    std::vector<cumulus> clouds;
    for (const published_column& t : published_columns()) {
        cumulus c{};
        if (cumulus_over(t, &c)) clouds.push_back(c);
    }
    return clouds;
}

}  // namespace sim
