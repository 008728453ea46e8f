// Ridge lift from the slope tiles.
#pragma once

// The ridge lift at the aircraft, m/s; 0 where there is no slope data.
double ridge_lift();
