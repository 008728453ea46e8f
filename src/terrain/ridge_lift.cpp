#include "terrain/ridge_lift.h"

// No slope tiles are read yet: there is no ridge lift anywhere.
double ridge_lift() { return 0.0; }
