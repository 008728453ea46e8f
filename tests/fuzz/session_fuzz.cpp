// libFuzzer target: any bytes as skv.ini, then a short flight against the
// stand-in simulator served in-process: start-up, a few hundred passes of
// the main loop, a finder key and the quit gesture. No value the settings
// accept may crash the flight, leave it running or give a sanitizer report.
#include "scratch_folder.h"
#include "stand_in_thread.h"
#include "settings_support.h"

#include "config/settings.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "multiplayer/multi_file.h"
#include "scenario.h"
#include "simlink/link.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"
#include "world.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

namespace {

// Lock-step at 10 ms an exchange: the quit at 12 s comes after a few
// hundred passes outside thermals.
constexpr const char* flight =
    "climb off\nclock lock-step 0.01\ntime 14:00:00\nposition 47.3 11.4\naltitude 1500\nground 600\n"
    "wind 270 12\nclouds 2400 9\nat 4 key w\nat 6 key 1\nat 10 key backspace\nat 11 key f12\n";


void fly_once() {
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        std::string error;
        sim::load_scenario_text(flight, &error);
    }
    initialise_session();
    main_loop();
    shut_down();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool entered = enter_scratch_folder("skarvo-session-fuzz-") && start_stand_in(flight);
    (void)entered;
    start_clean_settings();
    seed_random(1);
    thermal_strength = 2.5f;
    read_settings_text(std::string(reinterpret_cast<const char*>(data), size));
    if (program_mode == 2 || topo_scan == 1) return 0;  // the tools are caught, not run
    if (program_mode == 1 && !multi_file_present()) return 0;
    fly_once();
    if (running != 0) {
        std::fprintf(stderr, "the quit gesture did not end the session\n");
        std::abort();
    }
    return 0;
}
