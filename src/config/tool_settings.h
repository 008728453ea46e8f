// The tool block at the end of skv.ini: the soarable period and the area of
// the multi-player file and the terrain scan.
#pragma once

#include "config/word_stream.h"

// Reads the tool settings (the reader stands after their heading), checks
// them and starts the tools asked for, in order: the multi-player file,
// then the slope import and the terrain scan. `coverage` is the thermal
// coverage for the multi-player file.
void read_tool_settings_and_run(word_reader& r, float coverage);
