// libFuzzer target: any bytes as a slope tile, looked up at any position of
// its cell, give a finite ridge lift without reading past the tile.
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

bool enter_scratch_folder() {
    fs::path folder = fs::temp_directory_path() / ("skarvo-tile-fuzz-" + std::to_string(process_id()));
    fs::create_directories(folder / slope_folder);
    fs::current_path(folder);
    static fs::path made = folder;
    std::atexit([] {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(made, ignored);
    });
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool entered = enter_scratch_folder();
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
