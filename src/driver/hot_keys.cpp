#include "driver/hot_keys.h"

#include "driver/messages.h"
#include "driver/session.h"
#include "driver/vertical_air.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "thermals/finder.h"
#include "thermals/lift.h"

#include <cmath>

std::int32_t hotkey_count = 0;
std::uint32_t hotkey_flag_address[hotkey_table_size] = {};
std::int32_t hotkey_event_count = 0;
std::int32_t quit_prompt_active = 0;
std::int32_t quit_confirmed = 0;

namespace {

// Key codes in registration order; the place in the table is the key's identity.
constexpr std::uint8_t hotkey_codes[hotkey_table_size] = {8, 123, 87, 69, 49, 50, 51};
constexpr int key_quit = 0, key_confirm = 1, key_finder_w = 2, key_finder_e = 3;
constexpr std::uint8_t tab_held = 16;

// FSUIPC has 56 application hot-key slots; a larger count read from the
// simulator is not believed, so that registration always ends.
constexpr std::uint32_t most_hotkey_slots = 56;

template <typename T>
T read_offset(std::uint32_t offset, std::uint32_t bytes, T initial) {
    T value = initial;
    link_read(offset, bytes, &value, &link_result);
    link_process(&link_result);
    return value;
}

void write_byte(std::uint32_t offset, std::uint8_t value) {
    link_write(offset, 1, &value, &link_result);
    link_process(&link_result);
}

void take_slot(std::uint32_t slot_offset) {
    write_byte(slot_offset, hotkey_codes[hotkey_count]);
    write_byte(slot_offset + 1, tab_held);
    const std::uint8_t zeros[2] = {0, 0};
    link_write(slot_offset + 2, 2, zeros, &link_result);
    link_process(&link_result);
    hotkey_flag_address[hotkey_count++] = slot_offset + 3;
}

std::uint8_t read_event_byte() {
    return read_offset<std::uint8_t>(off_hotkey_event.offset, off_hotkey_event.bytes,
                                     static_cast<std::uint8_t>(hotkey_event_count));
}

void rearm(int key) { write_byte(hotkey_flag_address[key], 0); }

void act_on(int key) {
    if (key == key_confirm) {
        // A stray TAB-F12 is swallowed; during the prompt it is left for the prompt.
        if (quit_prompt_active == 0) rearm(key);
        return;
    }
    rearm(key);
    if (key == key_quit)
        quit_prompt();
    else if (key == key_finder_w)
        thermal_finder(0, 4);
    else if (key == key_finder_e)
        thermal_finder(0, 3);
    else
        thermal_finder(key - 3, key - 4);
}

void free_every_slot() {
    const std::uint8_t zeros[4] = {0, 0, 0, 0};
    for (int k = 0; k < hotkey_count; ++k) {
        link_write(hotkey_flag_address[k] - 3, 4, zeros, &link_result);
        link_process(&link_result);
    }
}

// Reads the confirm key's flag and the elapsed time in one batch. With
// fewer than two keys registered there is no confirm key: the flag reads 0
// and the prompt waits out its window.
std::uint8_t read_confirm_flag(double* elapsed) {
    std::uint8_t flag = 0;
    if (hotkey_count > key_confirm) link_read(hotkey_flag_address[key_confirm], 1, &flag, &link_result);
    link_read(off_elapsed_seconds.offset, off_elapsed_seconds.bytes, elapsed, &link_result);
    link_process(&link_result);
    return flag;
}

}  // namespace

void register_hot_keys() {
    std::uint32_t slots = read_offset<std::uint32_t>(off_hotkey_slot_count.offset, off_hotkey_slot_count.bytes, 0);
    if (slots > most_hotkey_slots) slots = most_hotkey_slots;
    for (std::uint32_t i = 0; i < slots && hotkey_count < hotkey_table_size; ++i) {
        std::uint32_t slot_offset = hotkey_slot_offset(i);
        if (read_offset<std::uint8_t>(slot_offset, 1, 0xFF) == 0) take_slot(slot_offset);
    }
    if (hotkey_count < hotkey_table_size)
        show_box("Skarvo 2004: WARNING",
                 "Too few hot key slots. Some hot keys will not function. Try closing other FSUIPC applications, or "
                 "restart Flight Simulator.");
    hotkey_event_count = read_offset<std::uint8_t>(off_hotkey_event.offset, off_hotkey_event.bytes, 0);
}

void poll_hot_keys() {
    std::uint8_t event = read_event_byte();
    if (event == hotkey_event_count) return;
    hotkey_event_count = event;
    for (int k = 0; k < hotkey_count; ++k)
        if (read_offset<std::uint8_t>(hotkey_flag_address[k], 1, 0) != 0) act_on(k);
}

void quit_prompt() {
    quit_prompt_active = 1;
    double t = 0.0;
    link_read(off_elapsed_seconds.offset, off_elapsed_seconds.bytes, &t, &link_result);
    show_sim_message("To quit Skarvo 2004, press TAB-F12 now.", 5);
    double deadline = std::trunc(t + 5.0);
    while (deadline > t && running == 1) {
        thermal_pass();
        if (read_confirm_flag(&t) == 0) continue;
        running = 0;
        quit_confirmed = 1;
        free_every_slot();
        write_vertical_air_speed(0.0, 0);
    }
    if (running == 1) show_sim_message("Skarvo 2004 is still running.", 5);
    quit_prompt_active = 0;
}

void reset_hot_keys() {
    hotkey_count = 0;
    for (auto& a : hotkey_flag_address) a = 0;
    hotkey_event_count = 0;
    quit_prompt_active = 0;
    quit_confirmed = 0;
}
