// Program entry and session start: the state a flying session sets up, and
// the steps from program start to the main loop and back out.
#pragma once

#include <cstdint>

// 1 while the session runs; cleared by a failed link open, the quit key and
// a simulator that has gone away.
extern std::int32_t running;

struct track_fix {
    double latitude;     // radians
    double longitude;    // radians
    std::uint32_t time;  // sim-clock seconds
};
extern track_fix track_fix_1;
extern track_fix track_fix_2;

// The whole run, from seeding the generator to the goodbye text. Returns the
// process exit code, which is always 0.
int run_program();

// Opens the link; on failure shows the result's text in a box and clears
// `running`.
bool open_simulator_link();

void initialise_session();
void wait_for_unpause();

// Shows the goodbye text and closes the link.
void shut_down();

// The lift ceiling from the cloud layer: altitude A and type T of the layer,
// ground elevation G, all metres. Uses and may replace lift_ceiling.
std::int32_t decide_lift_ceiling(std::int16_t cloud_altitude, std::int16_t cloud_type, std::int16_t ground);

// Puts every piece of session state back to its value at program start.
void reset_session();
