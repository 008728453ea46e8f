// The pilot's hot keys (registered in FSUIPC's application hot-key slots,
// all with Tab held) and the two-key quit gesture.
#pragma once

#include <cstdint>

constexpr int hotkey_table_size = 7;

extern std::int32_t hotkey_count;                                // keys of the table registered, in order
extern std::uint32_t hotkey_flag_address[hotkey_table_size];     // offset of each registered key's pressed flag
extern std::int32_t hotkey_event_count;                          // last value seen of the event byte
extern std::int32_t quit_prompt_active;                          // 1 while the quit prompt waits
extern std::int32_t quit_confirmed;                              // 1 once TAB-F12 has ended the session

// Takes free slots for the keys of the table, in order; warns when there
// are too few. Notes the event byte's baseline.
void register_hot_keys();

// Acts on the keys pressed since the last poll.
void poll_hot_keys();

// TAB-Backspace: waits 4 to 5 seconds for TAB-F12, which ends the session.
void quit_prompt();

void reset_hot_keys();
