// What the stand-in simulator tells: lines on standard output for a person,
// and a record of the session, one event a line, for tests and analysis.
//
// Record lines are tab-separated: session seconds, sim time of day
// (hh:mm:ss), kind, detail. Kinds: connect, disconnect, client-version,
// text, vas, key, pause, unpause, wind, clock, move, stop.
#pragma once

#include <string>

namespace sim {

bool open_record(const char* path);
void close_record();

// Standard output gets only what a person follows (texts, connections, keys),
// not every vertical air speed; `verbose` shows those too.
void set_verbose(bool verbose);

// Thinned, the record keeps a vertical air speed only when it moved by
// more than 0.01 m/s, or once a simulated second otherwise (the bridge
// flies for hours; the stand-in's tests want every write).
void set_vas_thinning(bool thin);
bool vas_worth_recording(double value);

// Records an event; `shown` also prints it.
void report(const char* kind, const std::string& detail, bool shown = true);

}  // namespace sim
