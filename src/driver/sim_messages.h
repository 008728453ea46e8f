// Texts shown in the simulator.
#pragma once

#include <cstdint>

extern std::int32_t display_seconds;

// Formats `text` into message_text and shows it for `seconds`. Requests the
// caller has queued travel in the same batch.
void show_sim_message(const char* text, std::int32_t seconds);
