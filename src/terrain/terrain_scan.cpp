#include "terrain/terrain_scan.h"

#include "driver/messages.h"

void make_topo(float, float, float, float, int, float) {
    show_box("Skarvo 2004", "The terrain scan is not available in this build.");
}
