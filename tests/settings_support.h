// Helpers for reading settings in tests: the shipped skv.ini with lines
// changed, message boxes and tool calls caught instead of shown and run,
// and the invariants every settings record must satisfy.
#pragma once

#include <string>
#include <vector>

struct caught_box {
    std::string caption;
    std::string text;
};

struct caught_tool_call {
    std::string tool;             // "create", "import" or "topo"
    std::vector<double> numbers;  // its arguments, in order
};

extern std::vector<caught_box> boxes;
extern std::vector<caught_tool_call> tool_calls;

// Resets the settings, the thermal state and the session, and catches
// message boxes and tool calls from now on.
void start_clean_settings();

// Puts the system's message boxes and the real tools back.
void stop_catching();

// The shipped skv.ini, its non-blank lines numbered by the step of the
// layout (1 = house thermals heading ... 44 = settle time).
std::vector<std::string> shipped_lines();

// The shipped file with the lines of the given steps replaced.
std::string settings_with(const std::vector<std::pair<int, std::string>>& changes);

// Reads the text as skv.ini.
void read_settings_text(const std::string& text);

// An empty string when the record satisfies every invariant, else what broke.
std::string settings_invariant_failure();
