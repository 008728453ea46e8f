// skarvo-fg: serves the FSUIPC link's Linux contract from a running
// FlightGear. One window of class UIPCMAIN answers the program's batches at
// once from a snapshot of FlightGear's properties, taken over FlightGear's
// property server (--telnet) as fast as FlightGear answers; the program's
// writes go back to FlightGear's properties in their order, and only the
// mapped ones (mapping.h).
//
//   skarvo-fg [--fg-host HOST] [--fg-port PORT] [--wait SECONDS] [--stay] [--record FILE]
//
// It ends when FlightGear goes away, or (without --stay) when the program
// that connected has left.
#include "bridge.h"
#include "props_client.h"

#include "recorder.h"
#include "scenario.h"
#include "server.h"
#include "world.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using clock_type = std::chrono::steady_clock;

struct options {
    std::string host = "127.0.0.1";
    int port = 5401;
    double wait_seconds = 120;
    bool stay = false;
    const char* record = nullptr;
};

bool parse(int argc, char** argv, options* o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool has_value = i + 1 < argc;
        if (a == "--fg-host" && has_value) o->host = argv[++i];
        else if (a == "--fg-port" && has_value) o->port = std::atoi(argv[++i]);
        else if (a == "--wait" && has_value) o->wait_seconds = std::atof(argv[++i]);
        else if (a == "--record" && has_value) o->record = argv[++i];
        else if (a == "--stay") o->stay = true;
        else return false;
    }
    return o->port > 0;
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

}  // namespace

int main(int argc, char** argv) {
    options o;
    if (!parse(argc, argv, &o)) {
        std::fprintf(stderr, "usage: skarvo-fg [--fg-host HOST] [--fg-port PORT] [--wait SECONDS] [--stay] [--record FILE]\n");
        return 2;
    }
    std::string error;
    sim::load_scenario_text("climb off\nclock lock-step 0.000001\n", &error);
    if (o.record && !sim::open_record(o.record)) {
        std::fprintf(stderr, "skarvo-fg: cannot write the record %s\n", o.record);
        return 2;
    }
    bridge::props_client fg;
    if (!connect_with_patience(fg, o)) {
        std::fprintf(stderr, "skarvo-fg: no FlightGear property server at %s:%d\n", o.host.c_str(), o.port);
        return 1;
    }
    bridge::exchange(fg);  // a first snapshot before the window opens
    sim::client_write_hook = bridge::queue_client_write;
    if (!sim::open_server("UIPCMAIN", &error)) {
        std::fprintf(stderr, "skarvo-fg: %s\n", error.c_str());
        return 1;
    }
    std::printf("skarvo-fg: serving UIPCMAIN from FlightGear at %s:%d\n", o.host.c_str(), o.port);
    std::fflush(stdout);
    std::atomic<bool> serving{true};
    std::thread server([&serving] {
        while (serving) sim::serve(5);
    });
    snapshot_stats stats;
    auto first = clock_type::now();
    bool fg_there = true;
    while (fg_there) {
        fg_there = bridge::exchange(fg);
        ++stats.count;
        stats.seconds = std::chrono::duration<double>(clock_type::now() - first).count();
        if (!o.stay && sim::client_seen() && sim::client_count() == 0) break;
    }
    serving = false;
    server.join();
    sim::close_server();
    sim::close_record();
    if (!fg_there) std::printf("skarvo-fg: FlightGear has gone\n");
    std::printf("skarvo-fg: %ld snapshots, one every %.0f ms on average\n", stats.count,
                stats.count > 1 ? stats.seconds / static_cast<double>(stats.count - 1) * 1000 : 0.0);
    return 0;
}
