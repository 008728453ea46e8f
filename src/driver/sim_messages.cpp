#include "driver/sim_messages.h"

#include "driver/session.h"
#include "simlink/link.h"
#include "simlink/offsets.h"

#include <cstring>

std::int32_t display_seconds = 0;

void show_sim_message(const char* text, std::int32_t seconds) {
    if (text != message_text) format_message("%s", text);
    // The simulator takes 128 bytes; a longer text is cut, never left unterminated.
    static_assert(message_text_size >= 128);
    message_text[off_message_text.bytes - 1] = '\0';
    link_write(off_message_text.offset, off_message_text.bytes, message_text, &link_result);
    display_seconds = seconds;
    link_write(off_message_seconds.offset, off_message_seconds.bytes, &display_seconds, &link_result);
    link_process(&link_result);
}
