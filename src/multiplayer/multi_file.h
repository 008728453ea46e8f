// The shared thermal file of multi-player flying.
#pragma once

constexpr const char* multi_file_name = "skv-multi.dat";

#include <cstdint>

// True when the file can be opened for reading.
bool multi_file_present();

// The file's soaring day, hour x 60 + minute of its first start and last
// stop.
extern std::int32_t multi_start_minute;
extern std::int32_t multi_stop_minute;

// Where the next load goes on reading the file; 0 reads it from the start.
extern std::int64_t multi_file_pos;

// Fills the active slots with the file's thermals alive now, nearest to the
// aircraft, for the time-of-day factor.
void load_multiplayer_thermals(float time_of_day_factor);
