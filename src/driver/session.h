// Program entry and session start: the state a flying session sets up, and
// the steps from program start to the main loop and back out.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 while the session runs; cleared by a failed link open, the quit key and
// a simulator that has gone away.
extern std::int32_t running;

// The shared buffer every message box text and simulator text is formatted
// into before use.
constexpr std::size_t message_text_size = 512;
extern char message_text[message_text_size];

struct track_fix {
    double latitude;     // radians
    double longitude;    // radians
    std::uint32_t time;  // sim-clock seconds
};
extern track_fix track_fix_1;
extern track_fix track_fix_2;

extern std::uint32_t scenery_lift_time;  // sim-clock seconds of the last write with scenery lift

// Formats into message_text, never past its end.
void format_message(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A desktop message box showing message_text.
void show_message_box(const char* caption);

// Formats into message_text and shows it in a desktop message box.
void show_box(const char* caption, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// The whole run, from seeding the generator to the goodbye text. Returns the
// process exit code, which is always 0.
int run_program();

// Opens the link; on failure shows the result's text in a box and clears
// `running`.
bool open_simulator_link();

void initialise_session();
void wait_for_unpause();

// The lift ceiling from the cloud layer: altitude A and type T of the layer,
// ground elevation G, all metres. Uses and may replace lift_ceiling.
std::int32_t decide_lift_ceiling(std::int16_t cloud_altitude, std::int16_t cloud_type, std::int16_t ground);

// Puts every piece of session state back to its value at program start.
void reset_session();
