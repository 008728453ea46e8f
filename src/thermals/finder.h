// The thermal finder: a one-line hint in the simulator about one thermal,
// its distance and magnetic bearing, or why there is nothing to find.
#pragma once

// kind 0: the active thermal in slot `index`; kind 1, 2 or 3: the house
// thermal in slot `index` (kind = index + 1).
void thermal_finder(int kind, int index);
