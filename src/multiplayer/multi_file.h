// Multi-player flying from the shared thermal file skv-multi.dat: its
// header overrides the weather settings, and the thermals alive now and
// nearest to the aircraft are loaded into the active slots.
#pragma once

#include <cstdint>

constexpr const char* multi_file_name = "skv-multi.dat";

// True when the file can be opened for reading.
bool multi_file_present();

// The file's soaring day, hour x 60 + minute of its start and stop.
extern std::int32_t multi_start_minute;
extern std::int32_t multi_stop_minute;

// Where the next load goes on reading the file; 0 reads it from the start.
extern std::int64_t multi_file_pos;

// Reads the header: lift ceiling, weak layer, lean factor, sink, scenery
// lift, inversion layer and finder option, each checked, and the day.
void read_multiplayer_header();

// Fills the active slots with the file's thermals alive now, nearest to the
// aircraft, for the time-of-day factor.
void load_multiplayer_thermals(float time_of_day_factor);

void reset_multiplayer();
