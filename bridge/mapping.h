// What the bridge takes from FlightGear into the offset space and what it
// gives back. Each offset the program uses has one property (or none):
//
//   offset          property                                   conversion                 direction
//   0x0560/0x0564   /position/latitude-deg                     degrees                    FG -> program; program -> FG in slew
//   0x0568/0x056C   /position/longitude-deg                    degrees                    FG -> program; program -> FG in slew
//   0x0574          /position/altitude-ft                      x 0.3048 = m               FG -> program; program -> FG in slew
//   0x0B4C          /position/ground-elev-m                    m                          FG -> program
//                   in slew: the terrain probe at the point    m                          FG -> program
//   0x0310          /sim/time/elapsed-sec                      s                          FG -> program
//   0x0238          /sim/time/local-day-seconds                s -> h, m, s               FG -> program
//   0x0264          /sim/freeze/master                         true = paused              FG -> program
//   0x0E90          /environment/wind-speed-kt                 knots                      FG -> program
//   0x0E92          /environment/wind-from-heading-deg         degrees, true              FG -> program
//   0x02A0          /environment/magnetic-variation-deg        degrees, east positive     FG -> program
//   0x0EEE          (none: FlightGear's wind is true)          0                          -
//   0xC682/0x0F80   /environment/clouds/layer[0]/elevation-ft, coverage
//                                                              x 0.3048; cumulus types 9  FG -> program
//   0x6030          /velocities/groundspeed-kt                 x 0.514444 = m/s           FG -> program
//   0x6040          /orientation/track-deg                     degrees -> radians         FG -> program
//   0x3478          /environment/local-weather-lift-fps        m/s / 0.3048               program -> FG
//   0x3518          /environment/wind-from-down-fps            x 0.3048 = m/s             FG -> program
//   0x3380/0x32FA   /sim/messages/copilot                      the text                   program -> FG
//   0x05DC          /fdm/jsbsim/forces/hold-down               1 = held where put         program -> FG
//   (status)        /skarvo/status/{attached,last-text,vertical-air-mps,vertical-air-kt}
//                                                              the add-on's status window bridge -> FG
//   hot-key slots   /skarvo/keys/{quit,confirm,finder-w,finder-e,house-1,house-2,house-3}
//                                                              1 = pressed, reset to 0    FG -> program
#pragma once

#include "world.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bridge {

// FlightGear's vertical wind (/environment/wind-from-down-fps, which its
// flight model feels) is the sum of thermal-lift-fps, ridge-lift-fps and
// local-weather-lift-fps. Its own thermal code sets thermal-lift-fps back
// every frame, and local weather (off when Skarvo makes the air) leaves its
// term alone: that term carries Skarvo's vertical air.
constexpr const char* vertical_air_property = "/environment/local-weather-lift-fps";

// Slew mode holds the aircraft where the program puts it. Measured here:
// /sim/freeze/master alone leaves JSBSim flying; its hold-down stops the
// aircraft (velocities zero) and lets it be moved, and FlightGear's clock
// runs on, which the scan's settle waits need.
constexpr const char* slew_hold_property = "/fdm/jsbsim/forces/hold-down";

struct property_set {
    std::string path, value;
};

// The properties read for one snapshot, in the order of their values.
const std::vector<std::string>& snapshot_paths();

// Takes one snapshot's values into the world; the hot keys pressed in
// FlightGear are pressed in the world, and the sets that re-arm them are
// added to `sets`. False when a value does not parse (nothing is taken).
bool take_snapshot(const std::vector<std::string>& values, sim::world_state& w, std::vector<property_set>* sets);

// A number as the bridge sets it in FlightGear (nine significant digits).
std::string formatted(double value);

// Whether a write lands on the aircraft's position (0x0560-0x0577).
bool moves_aircraft(std::uint32_t offset, std::uint32_t n);

// Whether a write finishes a latitude or longitude: their integer parts go
// first and the fractions after them, so a write of an integer part alone
// leaves the aircraft at a point between the old and the new.
bool completes_a_position(std::uint32_t offset, std::uint32_t n);

// Whole metres of ground height as 0x0B4C holds them.
std::int16_t ground_metres(double metres);

// The properties a client's write changes, with their new values; writes to
// offsets without a property give nothing.
std::vector<property_set> sets_for_write(std::uint32_t offset, std::uint32_t n, const sim::world_state& w);

// The add-on's status lines that changed since the last call (all of them at
// the first): whether a program is attached, its last text, the vertical
// air it writes in m/s and knots.
std::vector<property_set> status_sets(bool attached, const sim::world_state& w);

}  // namespace bridge
