// skarvo-sim: the stand-in flight simulator with its FSUIPC module.
//
//   skarvo-sim [--scenario FILE] [--class UIPCMAIN|FS98MAIN] [--record FILE]
//              [--igc FILE] [--map FILE.svg] [--stay] [--wall-limit SECONDS] [--verbose]
//
// Serves until the scenario stops it, or (without --stay) until every client
// that connected has left, or until the wall-clock limit (default 600 s).
// Then it writes the flight's IGC log and picture when asked, and when the
// glider flew, prints a summary of the flight.
#include "flight_log.h"
#include "recorder.h"
#include "scenario.h"
#include "server.h"
#include "world.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct options {
    const char* scenario = nullptr;
    const char* window_class = "UIPCMAIN";
    const char* record = nullptr;
    const char* igc = nullptr;
    const char* map = nullptr;
    bool stay = false;
    bool verbose = false;
    double wall_limit_seconds = 600.0;
};

void usage() {
    std::fprintf(stderr,
                 "usage: skarvo-sim [--scenario FILE] [--class UIPCMAIN|FS98MAIN] [--record FILE]\n"
                 "                  [--igc FILE] [--map FILE.svg] [--stay] [--wall-limit SECONDS] [--verbose]\n");
}

bool parse(int argc, char** argv, options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--scenario" && has_value) o->scenario = argv[++i];
        else if (a == "--class" && has_value) o->window_class = argv[++i];
        else if (a == "--record" && has_value) o->record = argv[++i];
        else if (a == "--igc" && has_value) o->igc = argv[++i];
        else if (a == "--map" && has_value) o->map = argv[++i];
        else if (a == "--wall-limit" && has_value) o->wall_limit_seconds = std::atof(argv[++i]);
        else if (a == "--stay") o->stay = true;
        else if (a == "--verbose") o->verbose = true;
        else return false;
    }
    std::string c = o->window_class;
    return c == "UIPCMAIN" || c == "FS98MAIN";
}

bool load(const options& o) {
    std::string error;
    bool ok = o.scenario ? sim::load_scenario_file(o.scenario, &error) : sim::load_scenario_text("", &error);
    if (!ok) std::fprintf(stderr, "skarvo-sim: scenario %s\n", error.c_str());
    return ok;
}

bool finished(const options& o, std::chrono::steady_clock::time_point start) {
    if (sim::scenario_stopped()) return true;
    if (!o.stay && sim::client_seen() && sim::client_count() == 0) return true;
    std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
    if (waited.count() > o.wall_limit_seconds) {
        sim::report("stop", "wall-clock limit reached");
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (!parse(argc, argv, &o)) {
        usage();
        return 2;
    }
    if (!load(o)) return 2;
    if (o.record && !sim::open_record(o.record)) {
        std::fprintf(stderr, "skarvo-sim: cannot write the record %s\n", o.record);
        return 2;
    }
    sim::set_verbose(o.verbose);
    std::string error;
    if (!sim::open_server(o.window_class, &error)) {
        std::fprintf(stderr, "skarvo-sim: %s\n", error.c_str());
        return 2;
    }
    sim::report("ready", std::string("serving as window class ") + o.window_class);
    auto start = std::chrono::steady_clock::now();
    while (!finished(o, start)) sim::serve(20);
    sim::close_server();
    const sim::world_state& w = sim::world;
    bool written = sim::leave_flight_behind(sim::flight, o.igc, o.map, w.year, w.month, w.day, w.glider.flying, stdout);
    sim::report("exit", "simulator closed");
    sim::close_record();
    return written ? 0 : 1;
}
