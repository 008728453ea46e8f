// libFuzzer target: whatever the simulator says. The input makes the
// stand-in, served in-process, answer any read with any bytes over a span
// of exchanges, lets batches stall (nine timed-out sends) and the window go,
// through start-up and a short flight with finder keys and the quit gesture,
// single-player or from a small shared file. No answer may give a sanitizer
// report, and the session must end: by the quit gesture when the answers
// leave the hot keys alone and the window stays, else once the window has
// gone (the run makes it go after 4,000 exchanges at the latest). A run that
// makes no batch at all is ended by libFuzzer's time-out.
//
// The input is records of 13 bytes: kind (0 answer, 1 stall, 2 window gone),
// what (the read it answers: an index into the offsets the program reads,
// or beyond them a byte of the hot-key slots), the first exchange (2 bytes),
// how many exchanges (1 byte), and 8 bytes of value, repeated to the read's
// length. A first byte before the records chooses the flying mode.
#include "scratch_folder.h"
#include "stand_in_thread.h"
#include "settings_support.h"

#include "batch.h"
#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "multiplayer/create_multi_file.h"
#include "multiplayer/multi_file.h"
#include "platform/platform.h"
#include "scenario.h"
#include "simlink/link.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"
#include "world.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* flight =
    "climb off\nclock lock-step 0.05\ntime 23:59:55\nposition 47.2 11.1\naltitude 1500\nground 600\n"
    "wind 270 12\nclouds 2400 9\nmotion 20 90\nat 6 key w\nat 7 key 1\nat 8 key backspace\nat 9 key f12\n";

constexpr std::uint32_t read_offsets[] = {0x0560, 0x0564, 0x0568, 0x056C, 0x0574, 0x0B4C, 0x0238, 0x0310,
                                          0x0E90, 0x0E92, 0x0EEE, 0x02A0, 0xC682, 0x0F80, 0x0264, 0x320C,
                                          0x32FE, 0x6030, 0x6040, 0x3304, 0x3308, 0x3518};
constexpr int offset_count = sizeof read_offsets / sizeof read_offsets[0];
constexpr int most_exchanges = 4000;

enum kind : unsigned char { answer = 0, stall = 1, gone = 2 };

struct record {
    unsigned char kind, what;
    int first, span;
    unsigned char value[8];
};

std::vector<record> records;
std::atomic<int> exchanges{0};
bool window_gone = false;
int sends_to_stall = 0;
bool quit_may_fail = false;

std::uint32_t offset_of(unsigned char what) {
    if (what < offset_count) return read_offsets[what];
    return 0x3210 + static_cast<std::uint32_t>(what - offset_count) % 64;
}

// A record that may keep the quit gesture from working: a stall (during the
// handshake the link does not open), or answers about the hot keys, the
// prompt's clock or the versions.
bool answers_against_the_quit(const record& r) {
    if (r.kind == stall) return true;
    if (r.kind != answer) return false;
    std::uint32_t offset = offset_of(r.what);
    return r.what >= offset_count || offset == 0x320C || offset == 0x32FE || offset == 0x0310 || offset == 0x3304 ||
           offset == 0x3308;
}

std::vector<record> records_of(const unsigned char* data, std::size_t size) {
    std::vector<record> found;
    for (std::size_t at = 0; at + 13 <= size; at += 13) {
        record r{};
        r.kind = data[at] % 3;
        r.what = data[at + 1];
        r.first = data[at + 2] | data[at + 3] << 8;
        r.span = data[at + 4];
        std::memcpy(r.value, data + at + 5, 8);
        found.push_back(r);
    }
    return found;
}

// The stand-in's answer to one read, changed where a record says so.
void answer_as_told(std::uint32_t offset, std::uint32_t n, unsigned char* data) {
    int now = exchanges;
    for (const record& r : records) {
        if (r.kind != answer || offset != offset_of(r.what) || now < r.first || now >= r.first + r.span) continue;
        for (std::uint32_t i = 0; i < n; ++i) data[i] = r.value[i % 8];
    }
}

bool send_as_told(platform_handle window, std::uint32_t msg, std::uint32_t wparam, std::uint32_t lparam,
                  std::uint32_t timeout_ms, std::int32_t* result) {
    int now = ++exchanges;
    for (const record& r : records) {
        if (r.kind == stall && r.first == now) sends_to_stall = send_attempts;
        if (r.kind == gone && r.first <= now) window_gone = true;
    }
    if (now > most_exchanges) window_gone = true;
    if (window_gone) {
        set_last_error(error_invalid_window_handle);
        return false;
    }
    if (sends_to_stall > 0) {
        --sends_to_stall;
        set_last_error(error_timeout);
        return false;
    }
    return platform_system_calls().send_message(window, msg, wparam, lparam, timeout_ms, result);
}


// A small day's file for multi-player flying, built once.
bool build_shared_file() {
    start_clean_settings();
    seed_random(3);
    thermal_strength = 2.5f;
    program_mode = 2;
    lift_ceiling = 2000;
    const float degree = 0.0174533f;
    create_multiplayer_file(0, 23 * 3600, 2, 47.2f * degree + 3.0f / 3956, 47.2f * degree - 3.0f / 3956, 11.0f * degree,
                            11.2f * degree, 5, 6, 6);
    stop_catching();
    return multi_file_present();
}

void fly(int mode) {
    start_clean_settings();
    seed_random(1);
    thermal_strength = 2.5f;
    program_mode = static_cast<std::int16_t>(mode);
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        std::string error;
        sim::load_scenario_text(flight, &error);
    }
    platform_calls.send_message = send_as_told;
    platform_calls.sleep_ms = [](std::uint32_t) {};
    initialise_session();
    main_loop();
    shut_down();
    platform_restore_calls();
    stop_catching();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool ready = enter_scratch_folder("skarvo-simulator-fuzz-") && build_shared_file() &&
                        (sim::answer_hook = answer_as_told) && start_stand_in(flight);
    (void)ready;
    if (size < 1) return 0;
    records = records_of(data + 1, size - 1);
    exchanges = 0;
    window_gone = false;
    sends_to_stall = 0;
    quit_may_fail = false;
    for (const record& r : records) quit_may_fail = quit_may_fail || answers_against_the_quit(r);
    fly(data[0] % 2);
    if (running != 0) {
        std::fprintf(stderr, "the session did not end\n");
        std::abort();
    }
    if (!window_gone && !quit_may_fail && quit_confirmed != 1) {
        std::fprintf(stderr, "the quit gesture did not end the session\n");
        std::abort();
    }
    return 0;
}
