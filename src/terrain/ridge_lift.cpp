#include "terrain/ridge_lift.h"

#include "config/rounding.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double to_degrees = 57.2958;
constexpr float radians_divisor = 57.3f;

struct sample {
    int aspect, slope;  // codes 0..15
};

int hex_digit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The sample at row and column, or flat ground ("00") when the tile is
// short there or holds something other than two hexadecimal digits.
sample read_sample(std::FILE* tile, int row, int column) {
    sample flat{0, 0};
    if (row < 0 || row >= tile_rows || column < 0 || column >= tile_columns) return flat;
    if (std::fseek(tile, row * tile_row_bytes + column * 2L, SEEK_SET) != 0) return flat;
    int aspect = hex_digit(std::fgetc(tile));
    int slope = hex_digit(std::fgetc(tile));
    if (aspect < 0 || slope < 0) return flat;
    return {aspect, slope};
}

// Wind and slope face: 0 when the wind blows straight onto the slope. The
// lifting sector is narrowed by a fifth; from 90 degrees on it is sink.
int angle_off_the_slope(int aspect_degrees) {
    int wind = wind_dir < 0 ? wind_dir + 360 : wind_dir;
    int d = std::abs(wind - aspect_degrees);
    if (d > 180) d = 360 - d;
    if (d < 90) {
        d = truncate_toward_zero(d * 1.2);
        if (d > 90) d = 90;
    }
    return d;
}

std::int16_t ground_below() {
    std::int16_t ground = 0;
    link_read(off_ground_elevation.offset, off_ground_elevation.bytes, &ground, &link_result);
    link_process(&link_result);
    return ground;
}

}  // namespace

float cell_west_edge(float west) { return west >= 180 ? west - 360 : west; }

std::string slope_tile_name(float south, float west) {
    auto whole = [](float x) { return std::abs(truncate_toward_zero(x)); };
    auto hundredths = [](float x) { return std::abs(truncate_toward_zero((x - static_cast<float>(truncate_toward_zero(x))) * 100.0f)); };
    char name[64];
    std::snprintf(name, sizeof name, "%c%02d.%02d%c%03d.%02d.slo", south >= 0 ? 'N' : 'S', whole(south),
                  hundredths(south), west >= 0 ? 'E' : 'W', whole(west), hundredths(west));
    return name;
}

float ridge_lift() {
    float lat = snap_to_3_arcseconds(static_cast<float>(aircraft_latitude * to_degrees));
    float lon = snap_to_3_arcseconds(static_cast<float>(aircraft_longitude * to_degrees));
    float south = static_cast<float>(truncate_toward_zero((lat + 90.0f) * 4.0f)) * 0.25f - 90.0f;
    float west = cell_west_edge(static_cast<float>(truncate_toward_zero((lon + 180.0f) * 4.0f)) * 0.25f - 180.0f);
    std::string path = std::string(slope_folder) + "/" + slope_tile_name(south, west);
    std::FILE* tile = std::fopen(path.c_str(), "rb");
    if (!tile) return 0.0f;
    float lon_in_cell = west == -180.0f && lon > 0.0f ? lon - 180.0f : lon - west;
    sample s = read_sample(tile, round_half_away((lat - south) * 1200.0f), round_half_away(lon_in_cell * 1200.0f));
    std::fclose(tile);

    int aspect = round_half_away(s.aspect * 22.5);
    int d = angle_off_the_slope(aspect);
    float lift = static_cast<float>(wind_speed) * std::cos(static_cast<float>(d) / radians_divisor) *
                 std::sin(static_cast<float>(s.slope * 6) / radians_divisor);
    double strength = std::sqrt(static_cast<double>(std::fabs(lift)));
    auto band = static_cast<std::int16_t>(truncate_toward_zero(lift > 0 ? strength * 250 : strength * 200));
    auto height = static_cast<std::int16_t>(static_cast<std::int16_t>(aircraft_altitude) - ground_below());
    if (band > height && band != 0)
        lift = static_cast<float>(lift * (1 - static_cast<double>(height) / band));
    else
        lift = 0.0f;
    return lift < 0 ? lift / 2 : lift;
}
