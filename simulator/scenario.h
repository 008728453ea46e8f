// Scenario files: the simulator's starting state and what happens when.
//
// One statement a line; '#' starts a comment. Lines without "at" set the
// starting state; "at SECONDS ..." lines are events, timed in seconds since
// the simulator started (a timeline that runs on while the simulator is
// paused). The statements are listed in the README.
#pragma once

#include <string>

namespace sim {

// Resets the world and applies the scenario text. On a faulty line returns
// false with a message naming the line.
bool load_scenario_text(const std::string& text, std::string* error);
bool load_scenario_file(const char* path, std::string* error);

// Runs the events that are due by world.session_seconds, in time order
// (events at the same time in file order).
void run_due_events();

// True once a "stop" event has run.
bool scenario_stopped();

}  // namespace sim
