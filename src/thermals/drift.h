// Thermal columns leaning with the wind, and the watch on the wind.
//
// Each column is kept where it stands at the aircraft's altitude
// (lat_here, lon_here). Active columns lean from a reference point, house
// columns from their ground source or from a re-base point left by a wind
// change.
#pragma once

#include <cstdint>

#include "thermals/thermal_state.h"

// The bearing the air moves to, radians, for a wind from `from_degrees`;
// single precision, as every offset takes it.
float downwind_bearing(std::int16_t from_degrees);

// How far downwind a column's reference point lies `metres` below the band
// under its top, in the current wind: miles, without the sink (for new
// columns and re-bases).
double reference_lean_miles(std::int64_t metres, float strength);

// Reads the wind at the aircraft in one batch: knots, the direction as a
// 16-bit angle, and the top of the surface layer (metres) below which that
// direction is magnetic. A failed read leaves the values as they were.
void read_simulator_wind(std::int16_t* knots, std::int16_t* raw_direction, std::int16_t* layer_top);

// Reads the wind; on a change of 3 knots or 10 degrees or more, re-bases the
// columns and takes the new wind.
void wind_check();

void lean_active(int slot);        // single-player flying
void lean_active_multi(int slot);  // multi-player flying: no top band, the reference stays
void lean_house(int house);

// The active column in `slot` leaned with the variant of the flying mode
// (multi-player flying: lean_active_multi).
void lean_active_for_mode(int slot);

// All five active columns, then every house column.
void lean_every_column();

// Where a column stands at its top in the current lean, without moving it
// (for the thermals published to companions).
void active_column_top(const active_thermal& t, double* lat, double* lon);
void house_column_top(const house_thermal& h, double* lat, double* lon);
