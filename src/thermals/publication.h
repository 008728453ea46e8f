// Publishing the thermals for companion programs: an extension, off unless
// the settings turn it on. Off, nothing here sends anything.
#pragma once

#include <cstdint>

// A housekeeping tick has passed: the next queue publishes.
void publication_due();

// Queues the published block into the next batch when a tick has passed
// since the last publication or a slot took a new thermal. `now` is the
// time of day the thermals' lives are read at.
void queue_thermal_publication(std::uint32_t now);

void reset_thermal_publication();
