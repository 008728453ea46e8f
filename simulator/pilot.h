// The soaring pilot of the stand-in: flies the glider as a pilot would,
// with only what a pilot has in the simulator: the texts Skarvo shows, the
// hot keys, the variometer, the compass, the clouds and the cloud base in
// sight, its drift over the ground, and a position to fly a task by.
#pragma once

#include "thermal_clouds.h"

#include <string>
#include <vector>

namespace sim {

// What a finder text tells the pilot.
struct finder_answer {
    enum kind_of_answer { not_finder, hint, in_it, too_high, too_weak, out_of_sight, not_available } kind = not_finder;
    double miles = 0;  // hint: distance
    int bearing = 0;   // hint: magnetic degrees
    std::string name;  // hint of a house thermal: its name
};

finder_answer parse_finder_text(const std::string& text);

// What the pilot goes by to find thermals: the finder's hints, the
// clouds in sight (within 10 km: where they are and how big, nothing of
// the lift under them), or only the lift it meets along its task.
enum class pilot_sight { finder, clouds, lift_only };

// Hands the controls to the pilot.
void start_pilot(pilot_sight sight = pilot_sight::finder);
bool pilot_flying();

// Where the pilot sees the ground (metres at a point): the stand-in's
// terrain unless a bridge gives its simulator's.
void set_pilot_ground(double (*ground_m)(double lat_deg, double lon_deg));

// The clouds the pilot sees: the stand-in's over the thermals the program
// publishes, unless a bridge gives the ones its simulator shows.
void set_pilot_clouds(std::vector<cumulus> (*clouds)());

// A turnpoint of the task, flown between climbs in the order given.
void add_turnpoint(double lat_deg, double lon_deg);

// One step of the pilot's flying, before the glider's own step. Called with
// the world locked.
void pilot_step(double seconds);

// Whether the pilot is circling in lift now.
bool pilot_circling();

void reset_pilot();

}  // namespace sim
