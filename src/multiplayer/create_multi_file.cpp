#include "multiplayer/create_multi_file.h"

#include "driver/messages.h"

void create_multiplayer_file(std::uint32_t, std::uint32_t, int, float, float, float, float, float, float, float) {
    show_box("Skarvo 2004", "Building the SKV multi-player data file is not available in this build.");
}
