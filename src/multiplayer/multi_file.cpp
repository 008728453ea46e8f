#include "multiplayer/multi_file.h"

#include <cstdio>

bool multi_file_present() {
    std::FILE* file = std::fopen(multi_file_name, "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}
