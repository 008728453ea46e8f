// Import of slope data files: every valid file in "Import" (the terrain
// scan's skv-slope.dat, or one the user put there) is cut into the slope
// tiles of "Slope Data", new ones or merged into those that exist, then
// moved into "Import/Archive" under a free name. Each file's outcome is
// shown in a message box.
#pragma once

constexpr const char* import_folder = "Import";
constexpr const char* archive_folder = "Import/Archive";

void import_slope_data();
