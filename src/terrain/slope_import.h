// Import of new slope data files into slope tiles.
#pragma once

// Cuts the slope data files waiting in "Import" into tiles and archives them.
void import_slope_data();
