// The stand-in simulator's world: its clock, the aircraft, the weather, the
// hot-key slots and the texts on screen, and the FSUIPC offset space through
// which a client sees them.
//
// The offset space is 64 KiB of bytes. Before each batch the world publishes
// its state into it; reads copy from it; writes land in it in queue order and
// the offsets with a meaning (position, texts, vertical air speed, the
// client's version) are taken back into the world as they land.
#pragma once

#include "glider.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace sim {

enum class clock_mode { lock_step, real_time };

constexpr std::uint32_t offset_space_bytes = 0x10000;
constexpr std::uint32_t hotkey_slot_total = 56;

struct world_state {
    // Time. Everything but session_seconds stops while paused.
    clock_mode mode = clock_mode::lock_step;
    double step_seconds = 0.05;     // simulated time per exchange in lock-step
    double rate = 1.0;              // simulated seconds per real second in real time
    double session_seconds = 0.0;   // since the simulator started; scenario events are timed on it
    double time_of_day = 12 * 3600; // local seconds since midnight
    double elapsed_seconds = 0.0;   // the simulator's elapsed-time counter
    int year = 2004, month = 7, day = 1;
    bool paused = false;

    // Aircraft.
    double latitude_deg = 0.0;
    double longitude_deg = 0.0;
    double altitude_m = 1000.0;
    double ground_speed_mps = 0.0;
    glider_state glider;             // when flying, the flight model moves the aircraft
    bool climb = true;               // the altitude follows the vertical air
    double still_air_sink_mps = -0.7; // the aircraft's own sink in still air
    double track_deg = 0.0;
    std::int16_t ground_m = 0;       // the flat ground; terrain and ridges stand on it
    bool slew = false;               // slew mode: the aircraft stays where it is put

    // Weather.
    double wind_from_deg = 0.0;     // true
    double wind_knots = 0.0;
    double magnetic_variation_deg = 0.0;  // east positive
    std::int16_t wind_layer_top_m = 0;    // below it the wind direction is magnetic
    std::int16_t cloud_altitude_m = 0;
    std::int16_t cloud_type = 0;
    double scenery_lift_mps = 0.0;  // the simulator's own vertical air, added to what it shows at 0x3518

    // FSUIPC itself.
    std::uint32_t fsuipc_version = 0x34100000;
    std::uint16_t sim_version = 7;
    std::uint32_t free_hotkey_slots = hotkey_slot_total;
    std::uint8_t hotkey_event = 0;
    std::uint16_t client_version_id = 0;
    std::uint32_t answer_delay_ms = 0;  // how long FSUIPC takes to answer a batch
    bool answers_held = false;          // a bridge holds the batches until the world has what they ask

    // Outputs of the program.
    double vertical_air_speed = 0.0;  // m/s, last written
    std::uint32_t vertical_air_writes = 0;
    std::uint32_t texts_shown = 0;
    std::string last_text;
};

extern world_state world;

// Held by whoever touches the world while a server may be serving it.
extern std::mutex world_mutex;

// A fresh world: defaults, clean offset space, hot-key slots laid out.
void reset_world();

// Lays out the hot-key slots: the first ones held by other programs, the
// last world.free_hotkey_slots free.
void lay_out_hotkey_slots();

// In real-time mode, advances the clocks by the real time passed since the
// last call (or since start_real_time), times the rate.
void start_real_time();
void tick_real_time();

// Advances the clocks by `seconds` of simulated time (session time always,
// the simulator's clocks only while not paused). While the simulator runs
// either the glider's flight model flies the aircraft in fixed steps, or the
// aircraft moves along its track at its ground speed and, unless its climb
// is off, rises and sinks with the vertical air plus its own sink in still
// air, never below the ground. A fix goes to the flight log every second.
void advance_clock(double seconds);

// Copies the world's state into the offset space.
void publish_state();

// Fills `n` bytes from the offset space; bytes outside it read as zero.
void read_offsets(std::uint32_t offset, std::uint32_t n, unsigned char* out);

// Applies a client's write; bytes outside the offset space are ignored.
void write_offsets(std::uint32_t offset, std::uint32_t n, const unsigned char* bytes);

// Called with the world locked after each client write has been applied,
// when set (a bridge to another simulator passes the writes on).
extern void (*client_write_hook)(std::uint32_t offset, std::uint32_t n);

// Presses the hot key registered with `key_code` (Tab held). False when no
// slot holds it.
bool press_hot_key(std::uint8_t key_code);

// Waits as long as the world says FSUIPC takes to answer, and while a
// bridge holds the answers.
void wait_answer_delay();

// "hh:mm:ss" of the simulator's time of day.
std::string clock_text();

// Metres of ground below the aircraft.
double ground_below_aircraft();

// Position words as the simulator keeps them.
void position_words(double units, std::uint32_t* low, std::int32_t* high);
double units_of_words(std::uint32_t low, std::int32_t high);

}  // namespace sim
