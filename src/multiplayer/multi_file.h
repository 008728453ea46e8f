// The shared thermal file of multi-player flying.
#pragma once

constexpr const char* multi_file_name = "skv-multi.dat";

// True when the file can be opened for reading.
bool multi_file_present();
