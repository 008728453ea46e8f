// The main loop of a flying session.
#pragma once

// Runs until `running` is no longer 1.
void main_loop();

// Moves the track fixes on when the newer one is more than 10 s old.
void shift_track_fixes();

// Widespread sink weakens near the ground: height above ground over the
// weak layer's height while below it, else 1. Reads the ground elevation.
double weak_layer_factor();
