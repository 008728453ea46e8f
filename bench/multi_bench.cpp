// How long building and reading the shared thermal file take for the
// largest area the settings accept without a caution: 200 x 200 miles at a
// coverage of 50 from 10:00 to 18:00, about 680,000 entries. Prints the
// seconds of generation, sort and writing, the ratio to writing as many
// lines with one formatted write each, and the time of a load at the
// busiest time of the day (from the file's start and from where the last
// load left off), against the stand-in simulator in-process.
//
//   multi_bench
#include "config/settings.h"
#include "driver/session.h"
#include "multiplayer/create_multi_file.h"
#include "multiplayer/multi_file.h"
#include "platform/platform.h"
#include "scenario.h"
#include "server.h"
#include "simlink/aircraft.h"
#include "simlink/link.h"
#include "thermals/geometry.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

void quiet_box(const char*, const char*) {}

double seconds_since(clock_type::time_point t) { return std::chrono::duration<double>(clock_type::now() - t).count(); }

std::size_t entries_in(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    std::size_t lines = 0;
    for (int c; f && (c = std::fgetc(f)) != EOF;) lines += c == '\n';
    if (f) std::fclose(f);
    return lines - 19;
}

double plain_writes(std::size_t lines) {
    auto start = clock_type::now();
    std::FILE* f = std::fopen("plain.dat", "w");
    for (std::size_t i = 0; f && i < lines; ++i)
        std::fprintf(f, "%05d %f %f %1.3f %1.1f %d %05lu %04u\n", static_cast<int>(i), 0.82, 0.19, 0.5, 2.0, 0,
                     static_cast<unsigned long>(i), 1200u);
    if (f) std::fclose(f);
    return seconds_since(start);
}

double timed_load() {
    auto start = clock_type::now();
    load_multiplayer_thermals(1.0f);
    return seconds_since(start);
}

}  // namespace

int main() {
    fs::path folder = fs::temp_directory_path() / ("skarvo-multi-bench-" + std::to_string(process_id()));
    fs::create_directories(folder);
    fs::current_path(folder);
    platform_calls.message_box = quiet_box;
    seed_random(1);
    program_mode = 2;
    lift_ceiling = 2000;
    thermal_strength = 2.5f;
    const float degree = 0.0174533f;
    float north = 47.0f * degree + 100.0f / 3956, south = 47.0f * degree - 100.0f / 3956;
    float half_width = 100.0f / (3956 * std::cos(47.0f * degree));
    create_multiplayer_file(10 * 3600, 18 * 3600, 2, north, south, 11.0f * degree - half_width,
                            11.0f * degree + half_width, 50, 200, 200);
    std::size_t entries = entries_in(multi_file_name);
    double plain = plain_writes(entries);
    const build_timing& t = last_build_timing;

    // A load at 14:00 over the middle of the area.
    std::string error;
    sim::load_scenario_text("time 14:00:00\nposition 47.0 11.0\naltitude 1500\nclimb off\nclock lock-step 0.001\n", &error);
    std::atomic<bool> serving{true};
    std::atomic<int> opened{0};
    std::thread server([&] {
        bool ok = sim::open_server("UIPCMAIN", &error);
        opened = ok ? 1 : -1;
        while (ok && serving) sim::serve(5);
        sim::close_server();
    });
    while (opened == 0) std::this_thread::yield();
    double first = -1, steady = -1;
    if (opened == 1 && link_open(0, &link_result)) {
        program_mode = 1;
        read_aircraft_position();
        read_multiplayer_header();
        first = timed_load();
        steady = timed_load();
        link_close();
    }
    serving = false;
    server.join();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);

    double total = t.generation + t.sort + t.writing;
    std::printf("entries:                 %zu\n", entries);
    std::printf("generation:              %.3f s\n", t.generation);
    std::printf("sort:                    %.3f s\n", t.sort);
    std::printf("writing:                 %.3f s, %.2f x one formatted write per line (%.3f s)\n", t.writing,
                t.writing / plain, plain);
    std::printf("whole build:             %.3f s (target at most 3 s)\n", total);
    std::printf("load at 14:00:           %.1f ms from the file's start, %.1f ms from where it left off\n",
                first * 1000, steady * 1000);
    return 0;
}
