// The main loop of a flying session.
#pragma once

// Runs until `running` is no longer 1.
void main_loop();
