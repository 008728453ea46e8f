#include "multiplayer/multi_file.h"

#include <cstdio>

std::int32_t multi_start_minute = 0;
std::int32_t multi_stop_minute = 0;
std::int64_t multi_file_pos = 0;

bool multi_file_present() {
    std::FILE* file = std::fopen(multi_file_name, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

// The file's thermals are not read yet: the slots stay as they are.
void load_multiplayer_thermals(float) {}
