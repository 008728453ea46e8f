// libFuzzer target: any bytes as skv-multi.dat, read as the header at
// start-up and loaded twice (from the start, then from where the first load
// left off), never crash, never read out of bounds and never load a thermal
// whose numbers are not finite.
#include "scratch_folder.h"
#include "settings_support.h"

#include "config/settings.h"
#include "multiplayer/multi_file.h"
#include "platform/platform.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {


void check_slots() {
    for (const active_thermal& t : active_thermals)
        if (!std::isfinite(t.lat_ref) || !std::isfinite(t.lon_ref) || !std::isfinite(t.lat_here) ||
            !std::isfinite(t.lon_here) || !std::isfinite(t.radius) || !std::isfinite(t.strength)) {
            std::fprintf(stderr, "a slot holds a number that is not finite\n");
            std::abort();
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool entered = enter_scratch_folder("skarvo-multi-fuzz-");
    (void)entered;
    std::ofstream(multi_file_name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    start_clean_settings();
    program_mode = 1;
    read_multiplayer_header();
    load_multiplayer_thermals(1.0f);
    check_slots();
    load_multiplayer_thermals(0.5f);
    check_slots();
    return 0;
}
