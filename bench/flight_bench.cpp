// How fast the program flies against the stand-in simulator (lock-step
// clock, no faults): main-loop passes per second outside thermals and
// in-thermal iterations per second, each with the link exchanges it costs,
// against what the bare transport allows: the bare exchange rate measured
// in the same run, divided by the exchanges per pass. A ratio of 1 means
// the program adds nothing to its exchanges. Each is flown twice, without
// and with the thermals published for companions, and the two rates are
// compared.
//
//   flight_bench [--pilot] [SIMULATED_SECONDS]
//
// --pilot: the stand-in's glider and soaring pilot fly, asking the finder
// as they go.
#include "bench_posix.h"

#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "platform/platform.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "thermals/lift.h"
#include "thermals/publication.h"
#include "thermals/thermal_state.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace bench;

namespace {

long long sends = 0;

bool counting_send(platform_handle w, std::uint32_t m, std::uint32_t wp, std::uint32_t lp, std::uint32_t t,
                   std::int32_t* r) {
    ++sends;
    return platform_system_calls().send_message(w, m, wp, lp, t, r);
}

long long vertical_air_writes(const std::string& record) {
    std::ifstream in(record);
    long long writes = 0;
    for (std::string line; std::getline(in, line);) writes += line.find("\tvas\t") != std::string::npos;
    return writes;
}

// A thermal `north_miles` from the aircraft that lives through the run.
void place(int slot, double north_miles, float strength, float radius) {
    active_thermal& t = active_thermals[slot];
    t = active_thermal{};
    t.lat_here = t.lat_ref = aircraft_latitude + north_miles / 3956.0;
    t.lon_here = t.lon_ref = aircraft_longitude;
    t.strength = strength;
    t.radius = radius;
    t.top = 5000;
    t.ref_altitude = t.top - 143;
    t.lifetime = 20000;
    t.birth_time = sim_clock_seconds() - 100;
}

struct phase {
    double seconds = 0;
    long long exchanges = 0, passes = 0;
};

template <typename flying>
phase measure(const std::string& record, flying fly) {
    long long writes_before = vertical_air_writes(record), sends_before = sends;
    auto start = clock_type::now();
    fly();
    phase p;
    p.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    p.exchanges = sends - sends_before;
    p.passes = vertical_air_writes(record) - writes_before;
    return p;
}

double bare_rate(bare_link& bare) {
    std::vector<double> samples;
    auto start = clock_type::now();
    if (!bare_round(bare, 20000, samples)) return 0;
    return 20000 / std::chrono::duration<double>(clock_type::now() - start).count();
}

double rate_of(const phase& p) { return static_cast<double>(p.passes) / p.seconds; }

void print(const char* what, const phase& p, double bare_per_second) {
    double per_pass = static_cast<double>(p.exchanges) / static_cast<double>(p.passes);
    double rate = static_cast<double>(p.passes) / p.seconds;
    std::printf("%-28s %9.0f per second, %5.2f exchanges each, ratio %.3f (target at least 0.8)\n", what, rate,
                per_pass, rate / (bare_per_second / per_pass));
}

}  // namespace

int main(int argc, char** argv) {
    bool pilot = argc > 1 && std::string(argv[1]) == "--pilot";
    int seconds = argc > 1 + pilot ? std::atoi(argv[1 + pilot]) : 3000;
    char dir[] = "/tmp/skarvo-flight-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("FSUIPC_IPC_DIR", dir, 1);
    std::string scenario = std::string(dir) + "/bench.scn", record = std::string(dir) + "/record.tsv";
    // Outside thermals until the quit gesture, then in a thermal until the
    // aircraft is moved out of it.
    std::ofstream(scenario) << "time 12:00:00\nposition 47.0 11.0\naltitude 1000\nground 500\nclimb off\n"
                            << "clock lock-step 0.05\n" << (pilot ? "pilot auto\nclouds 3000 9\n" : "")
                            << "at " << seconds << " key backspace\nat " << seconds + 1 << " key f12\n"
                            << "at " << 2 * seconds << " key backspace\nat " << 2 * seconds + 1 << " key f12\n"
                            << "at " << 3 * seconds << " move 46.9 11.0\n"
                            << "at " << 4 * seconds << " move 47.0 11.0\n";

    pid_t simulator = start_simulator({"--scenario", scenario, "--record", record, "--wall-limit", "600"});
    pin_to_first_core();
    bare_link bare;
    if (!wait_for_socket(std::string(dir) + "/UIPCMAIN.sock") || !link_open(0, &link_result) || !open_bare(bare, dir)) {
        std::fprintf(stderr, "flight_bench: cannot reach the stand-in simulator or the bare server\n");
        return 1;
    }
    platform_calls.send_message = counting_send;
    read_aircraft_position();
    sink_setting = 1;
    sink_rate = -0.05f;
    thermal_strength = 2.0f;
    for (int slot = 0; slot < active_slots; ++slot) place(slot, 1.0 + 0.4 * slot, 1.0f, 0.2f);
    register_hot_keys();

    double bare_before = bare_rate(bare);
    phase outside = measure(record, [] { main_loop(); });
    running = 1;
    reset_hot_keys();
    register_hot_keys();
    publish_thermals = 1;
    phase outside_publishing = measure(record, [] { main_loop(); });
    running = 1;
    place(0, 0.0, 1.0f, 0.5f);
    phase inside_publishing = measure(record, [] { thermal_pass(); });
    publish_thermals = 0;
    place(0, 0.0, 1.0f, 0.5f);
    phase inside = measure(record, [] { thermal_pass(); });
    double bare_after = bare_rate(bare);

    link_close();
    close_bare(bare);
    waitpid(simulator, nullptr, 0);
    std::system((std::string("rm -rf ") + dir).c_str());

    double bare_per_second = (bare_before + bare_after) / 2;
    std::printf("bare exchanges:              %9.0f per second (mean of a round before and after)\n", bare_per_second);
    print("main-loop passes outside:", outside, bare_per_second);
    print("  publishing the thermals:", outside_publishing, bare_per_second);
    print("in-thermal iterations:", inside, bare_per_second);
    print("  publishing the thermals:", inside_publishing, bare_per_second);
    std::printf("publishing / not: main loop %.3f, in thermals %.3f (target at least 0.98)\n",
                rate_of(outside_publishing) / rate_of(outside), rate_of(inside_publishing) / rate_of(inside));
    return 0;
}
