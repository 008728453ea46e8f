// libFuzzer target: any bytes as a slope tile, looked up at any position of
// its cell, give a finite ridge lift without reading past the tile.
#include "scratch_folder.h"
#include "settings_support.h"

#include "simlink/aircraft.h"
#include "platform/platform.h"
#include "terrain/ridge_lift.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool entered = enter_scratch_folder("skarvo-tile-fuzz-") && fs::create_directories(slope_folder);
    (void)entered;
    if (size < 4) return 0;
    // The first bytes place the aircraft in the cell and set the wind.
    double north = data[0] / 255.0 * 0.25, east = data[1] / 255.0 * 0.25;
    wind_dir = static_cast<std::int16_t>(data[2] * 360 / 255 - 180);
    wind_speed = static_cast<std::int16_t>(data[3] % 40);
    aircraft_latitude = (45.25 + north) * 0.0174533;
    aircraft_longitude = (6.5 + east) * 0.0174533;
    aircraft_altitude = data[0] * 10;
    std::ofstream(fs::path(slope_folder) / "N45.25E006.50.slo", std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 4), static_cast<std::streamsize>(size - 4));
    float lift = ridge_lift();
    if (!std::isfinite(lift)) {
        std::fprintf(stderr, "ridge lift is not finite\n");
        std::abort();
    }
    return 0;
}
