// skarvo-fg: serves the FSUIPC link's Linux contract from a running
// FlightGear. One window of class UIPCMAIN answers the program's batches
// from a snapshot of FlightGear's properties, taken over FlightGear's
// property server (--telnet) as fast as FlightGear answers; the program's
// writes go back to FlightGear's properties in their order, and only the
// mapped ones (mapping.h).
//
//   skarvo-fg [--fg-host HOST] [--fg-port PORT] [--wait SECONDS] [--stay]
//             [--batch-ms MS] [--auto] [--no-finder | --clouds] [--task LAT LON ...]
//             [--blue] [--minutes N] [--record FILE] [--igc FILE] [--map FILE.svg]
//
// --batch-ms: the least time a batch takes, as a simulator's interface
//   answers at its own pace (default 20 ms; 0 answers at once).
// --auto: the soaring pilot flies the sailplane (its bank and speed holds),
//   seeing FlightGear's ground around it. --no-finder: it does not ask the
//   finder; --clouds: it goes by the clouds instead; --task: turnpoints it
//   flies between climbs (a ridge's face to beat along, say).
// --blue: a blue day, no cumulus over the thermals (when the program
//   publishes them, the bridge shows a cloud over each worth marking).
// --minutes: after N minutes of FlightGear's time from the program's
//   arrival, the quit gesture (TAB-Backspace, then TAB-F12) ends the flight.
// --igc, --map: the flight's IGC log and its map and barogram; with either,
//   the summary of the flight is printed at the end.
//
// It ends when FlightGear goes away, on Ctrl-C or SIGTERM (the flight's
// files still written), or (without --stay) when the program that connected
// has closed its link and left; a program killed mid-flight leaves the
// bridge serving for the next one.
#include "autopilot.h"
#include "bridge.h"
#include "clouds.h"
#include "mapping.h"
#include "props_client.h"

#include "flight_log.h"
#include "recorder.h"
#include "scenario.h"
#include "server.h"
#include "world.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct options {
    std::string host = "127.0.0.1";
    int port = 5401;
    double wait_seconds = 120;
    bool stay = false;
    int batch_ms = 20;
    bool auto_pilot = false;
    sim::pilot_sight sight = sim::pilot_sight::finder;
    std::vector<std::pair<double, double>> task;
    double minutes = 0;
    const char* record = nullptr;
    const char* igc = nullptr;
    const char* map = nullptr;
};

bool a_number(const char* text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

bool parse(int argc, char** argv, options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--fg-host" && has_value) o->host = argv[++i];
        else if (a == "--fg-port" && has_value) o->port = std::atoi(argv[++i]);
        else if (a == "--wait" && has_value) o->wait_seconds = std::atof(argv[++i]);
        else if (a == "--batch-ms" && has_value) o->batch_ms = std::atoi(argv[++i]);
        else if (a == "--minutes" && has_value) o->minutes = std::atof(argv[++i]);
        else if (a == "--record" && has_value) o->record = argv[++i];
        else if (a == "--igc" && has_value) o->igc = argv[++i];
        else if (a == "--map" && has_value) o->map = argv[++i];
        else if (a == "--auto") o->auto_pilot = true;
        else if (a == "--no-finder") o->sight = sim::pilot_sight::lift_only;
        else if (a == "--clouds") o->sight = sim::pilot_sight::clouds;
        else if (a == "--blue") bridge::blue_day = true;
        else if (a == "--task") {
            double lat = 0, lon = 0;
            for (; i + 2 < argc && a_number(argv[i + 1], &lat) && a_number(argv[i + 2], &lon); i += 2)
                o->task.push_back({lat, lon});
            if (o->task.empty()) return false;
        }
        else if (a == "--stay") o->stay = true;
        else return false;
    }
    return o->port > 0 && o->batch_ms >= 0 && o->minutes >= 0;
}

bool connect_with_patience(bridge::props_client& fg, const options& o) {
    auto give_up = clock_type::now() + std::chrono::duration<double>(o.wait_seconds);
    while (clock_type::now() < give_up) {
        if (fg.connect_to(o.host, o.port, 5000)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return false;
}

struct snapshot_stats {
    long count = 0;
    double seconds = 0;  // between the first and the last
};

// The quit gesture after the flight's minutes: TAB-Backspace, then TAB-F12
// when the prompt has had a few seconds.
struct quit_timer {
    double minutes = 0;
    double start = -1;  // FlightGear's time when the program arrived
    int pressed = 0;

    void tick(const sim::world_state& w) {
        if (minutes <= 0 || !sim::client_seen()) return;
        if (start < 0) start = w.elapsed_seconds;
        double flown = w.elapsed_seconds - start;
        if (pressed == 0 && flown >= minutes * 60) {
            sim::report("key", "the flight's time is up: TAB-Backspace");
            pressed += sim::press_hot_key(8) ? 1 : 0;
        } else if (pressed == 1 && flown >= minutes * 60 + 3) {
            sim::report("key", "TAB-F12");
            pressed += sim::press_hot_key(123) ? 1 : 0;
        }
    }
};

// One snapshot with what comes of it: the pilot's holds, the quit gesture.
bool fly_one_snapshot(bridge::props_client& fg, const options& o, quit_timer& quit) {
    double before = 0;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        before = sim::world.elapsed_seconds;
    }
    if (!bridge::exchange(fg)) return false;
    std::vector<bridge::property_set> holds;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (o.auto_pilot) holds = bridge::autopilot_step(sim::world.elapsed_seconds - before);
        quit.tick(sim::world);
    }
    for (const auto& s : holds)
        if (!fg.set(s.path, s.value)) return false;
    return true;
}

// Ctrl-C or a polite kill ends the flight as FlightGear's going does: the
// flight's files are still written.
volatile std::sig_atomic_t stop_asked = 0;

void ask_to_stop(int) { stop_asked = 1; }

// Without --stay the bridge ends when the program has closed its link and
// left. A program killed or crashed leaves its link open: the bridge serves
// on, FlightGear flies on, and a program started again attaches.
struct program_watch {
    bool told = false;

    bool left_for_good(bool stay) {
        if (!sim::client_seen() || sim::client_count() > 0) {
            told = false;
            return false;
        }
        if (!sim::client_vanished()) return !stay;
        if (!told) {
            std::printf("skarvo-fg: the program went without closing its link; serving on for the next\n");
            std::fflush(stdout);
            told = true;
        }
        return false;
    }
};

void leave_flight_behind(const options& o) {
    const sim::world_state& w = sim::world;
    bool asked = o.igc || o.map;
    if (!asked) return;
    sim::leave_flight_behind(sim::flight, o.igc, o.map, w.year, w.month, w.day, true, stdout);
    if (o.igc) std::printf("IGC log: %s\n", o.igc);
    if (o.map) std::printf("Map and barogram: %s\n", o.map);
}

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr,
                     "usage: skarvo-fg [--fg-host HOST] [--fg-port PORT] [--wait SECONDS] [--stay] [--batch-ms MS]\n"
                     "                 [--auto] [--no-finder | --clouds] [--task LAT LON ...] [--blue] [--minutes N] [--record FILE]\n"
                     "                 [--igc FILE] [--map FILE.svg]\n");
        return 2;
    }
    std::string error;
    sim::load_scenario_text("climb off\nclock lock-step 0.000001\n", &error);
    sim::world.answer_delay_ms = static_cast<std::uint32_t>(o.batch_ms);
    sim::set_vas_thinning(true);
    if (o.record && !sim::open_record(o.record)) {
        std::fprintf(stderr, "skarvo-fg: cannot write the record %s\n", o.record);
        return 2;
    }
    bridge::props_client fg;
    if (!connect_with_patience(fg, o)) {
        std::fprintf(stderr, "skarvo-fg: no FlightGear property server at %s:%d\n", o.host.c_str(), o.port);
        return 1;
    }
    // The window opens on a world that FlightGear has filled.
    auto give_up = clock_type::now() + std::chrono::duration<double>(o.wait_seconds);
    while (bridge::snapshots_taken() == 0)
        if (!bridge::exchange(fg) || clock_type::now() > give_up) {
            std::fprintf(stderr, "skarvo-fg: FlightGear does not answer with its properties\n");
            return 1;
        }
    if (o.auto_pilot) {
        if (!bridge::load_flightgear_terrain(fg)) {
            std::fprintf(stderr, "skarvo-fg: FlightGear does not give its ground's heights for the pilot\n");
            return 1;
        }
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        bridge::start_autopilot(o.sight, o.task);
    }
    sim::client_write_hook = bridge::queue_client_write;
    if (!sim::open_server("UIPCMAIN", &error)) {
        std::fprintf(stderr, "skarvo-fg: %s\n", error.c_str());
        return 2;
    }
    std::printf("skarvo-fg: serving UIPCMAIN from FlightGear at %s:%d%s\n", o.host.c_str(), o.port,
                o.auto_pilot ? ", the soaring pilot flying" : "");
    std::fflush(stdout);
    std::signal(SIGINT, ask_to_stop);
    std::signal(SIGTERM, ask_to_stop);
    std::atomic<bool> serving{true};
    std::thread server([&serving] {
        while (serving) sim::serve(5);
    });
    snapshot_stats stats;
    quit_timer quit{o.minutes};
    auto first = clock_type::now();
    bool fg_there = true;
    program_watch program;
    while (fg_there && !stop_asked) {
        fg_there = fly_one_snapshot(fg, o, quit);
        ++stats.count;
        stats.seconds = std::chrono::duration<double>(clock_type::now() - first).count();
        if (program.left_for_good(o.stay)) break;
    }
    if (fg_there) {  // the status window and the sky: no program is served now
        for (const auto& s : bridge::status_sets(false, sim::world)) fg.set(s.path, s.value);
        bridge::restore_after_a_scan(fg);
        for (const auto& s : bridge::cloud_sets(false, true)) fg.set(s.path, s.value);
    }
    serving = false;
    bridge::release_answers();
    server.join();
    sim::close_server();
    sim::close_record();
    if (!fg_there) std::printf("skarvo-fg: FlightGear has gone\n");
    else if (stop_asked) std::printf("skarvo-fg: stopped\n");
    leave_flight_behind(o);
    bridge::report_the_scans_ground();
    std::printf("skarvo-fg: %ld snapshots, one every %.0f ms on average\n", stats.count,
                stats.count > 1 ? stats.seconds / static_cast<double>(stats.count - 1) * 1000 : 0.0);
    return 0;
}
