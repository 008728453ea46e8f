// The bridge's work between the link's server and FlightGear: a snapshot
// of FlightGear's properties into the world, and the program's writes out
// to FlightGear in their order.
#pragma once

#include "props_client.h"

#include <cstdint>

namespace bridge {

// Set as the world's client-write hook: queues the properties a write
// changes. A value still waiting is replaced by the newer one; texts keep
// their places.
void queue_client_write(std::uint32_t offset, std::uint32_t n);

// One snapshot in, the queued writes out, and in slew mode the ground's
// height at the point the program put the aircraft on. False when
// FlightGear has gone.
bool exchange(props_client& fg);

// A blue day: no cumulus over the thermals (skarvo-fg --blue).
extern bool blue_day;

// How long a snapshot's answers may take before the bridge says FlightGear
// has stalled and waits on for it (up to five minutes).
extern int answer_patience_ms;

// FlightGear's drawing, frame rate and scenery range as they were before a
// scan (the bridge is leaving). False when FlightGear does not take it.
bool restore_after_a_scan(props_client& fg);

// Lets the batches held for a ground height go (the bridge is leaving).
void release_answers();

// Forgets the scan's ground fetched ahead, and that the add-on had no
// block probe, and the settings FlightGear had before a scan (a new
// FlightGear; tests).
void forget_the_scans_ground();

// What the scan's ground took, on standard output: blocks asked for, points
// in them, the time their answers took, points the program waited for and
// points asked for alone. Nothing when there was no scan.
void report_the_scans_ground();

// Snapshots taken into the world so far.
long snapshots_taken();

// Writes still waiting (for tests).
std::size_t writes_waiting();

}  // namespace bridge
