#include "driver/messages.h"

#include "platform/platform.h"
#include "simlink/link.h"
#include "simlink/offsets.h"

#include <cstdarg>
#include <cstdio>

char message_text[message_text_size];
std::int32_t display_seconds = 0;

namespace {
void format_arguments(const char* format, va_list arguments) {
    std::vsnprintf(message_text, sizeof message_text, format, arguments);
}
}  // namespace

void format_message(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    format_arguments(format, arguments);
    va_end(arguments);
}

void show_message_box(const char* caption) { message_box(message_text, caption); }

void show_box(const char* caption, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    format_arguments(format, arguments);
    va_end(arguments);
    message_box(message_text, caption);
}

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
