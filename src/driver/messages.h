// The program's words to the pilot: the shared text buffer, desktop message
// boxes and texts shown in the simulator. Every box and every text is
// formatted into message_text first.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t message_text_size = 512;
extern char message_text[message_text_size];

extern std::int32_t display_seconds;  // how long the simulator shows the last text

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

// Formats `text` into message_text and shows it in the simulator for
// `seconds`. Requests the caller has queued travel in the same batch.
void show_sim_message(const char* text, std::int32_t seconds);
