#include "terrain/slope_import.h"

// Nothing is imported yet: slope tiles come with ridge lift.
void import_slope_data() {}
