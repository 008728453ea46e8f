// A stand-in simulator served from a thread of the test process, over the
// real Linux transport, in an IPC folder of its own.
#pragma once

#include "platform/platform.h"
#include "scenario.h"
#include "simlink/link.h"
#include "server.h"
#include "world.h"

#include <gtest/gtest.h>

#include "process.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

// A simulator that stalls on one read: the next `sends` sends of a batch
// that only reads `bytes` at `offset` (with `bytes` 0: of a batch that
// begins with a read at `offset`) time out, once `when` (if given) says so.
// The link's waits between tries are skipped.
struct stalled_read_fault {
    std::uint32_t offset = 0, bytes = 0;
    int sends_left = 0;
    bool (*when)() = nullptr;
};
inline stalled_read_fault stalled_read;

inline bool send_stalling_on_read(platform_handle window, std::uint32_t msg, std::uint32_t wparam,
                                  std::uint32_t lparam, std::uint32_t timeout_ms, std::int32_t* result) {
    stalled_read_fault& f = stalled_read;
    bool stalled_batch = f.bytes == 0 ? link_sending_read_first(f.offset) : link_sending_only_read(f.offset, f.bytes);
    if (f.sends_left > 0 && stalled_batch && (!f.when || f.when())) {
        --f.sends_left;
        set_last_error(error_timeout);
        return false;
    }
    return platform_system_calls().send_message(window, msg, wparam, lparam, timeout_ms, result);
}

inline void stall_read(std::uint32_t offset, std::uint32_t bytes, int sends, bool (*when)() = nullptr) {
    stalled_read = {offset, bytes, sends, when};
    platform_calls.send_message = send_stalling_on_read;
    platform_calls.sleep_ms = [](std::uint32_t) {};
}

class in_process_sim : public ::testing::Test {
protected:
    void SetUp() override {
        ipc_dir = make_temp_folder("skarvo-test");
        ASSERT_FALSE(ipc_dir.empty());
        use_ipc_folder(ipc_dir);
        load_scenario("");
    }

    void TearDown() override {
        link_close();
        platform_restore_calls();  // a test may have put faults in
        stop_server();
        std::error_code ignored;
        std::filesystem::remove_all(ipc_dir, ignored);
    }

    // Loads the scenario text into the world (before the server starts).
    // The aircraft holds its altitude unless the scenario says "climb on".
    void load_scenario(const std::string& text) {
        std::string error;
        ASSERT_TRUE(sim::load_scenario_text("climb off\n" + text, &error)) << error;
    }

    // The server lives on a thread of its own: on Windows its window
    // belongs to that thread, which must keep pumping its messages.
    void start_server(const char* window_class = "UIPCMAIN") {
        std::atomic<int> opened{0};
        std::string error;
        serving = true;
        server_thread = std::thread([&opened, &error, window_class, this] {
            // Under a heavily loaded Wine a window has once failed to be
            // made: a second try, after letting go of the first, serves.
            bool ok = false;
            for (int attempt = 0; attempt < 3 && !ok; ++attempt) {
                if (attempt > 0) {
                    sim::close_server();
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                }
                ok = sim::open_server(window_class, &error);
            }
            opened = ok ? 1 : -1;
            while (ok && serving) sim::serve(5);
            sim::close_server();
        });
        while (opened == 0) std::this_thread::yield();
        ASSERT_EQ(opened, 1) << error;
    }

    // Loads the scenario, serves it and opens the program's link to it.
    void open_link(const std::string& scenario) {
        load_scenario(scenario);
        start_server();
        ASSERT_TRUE(link_open(0, &link_result));
    }

    void stop_server() {
        if (!server_thread.joinable()) return;
        serving = false;
        server_thread.join();
    }

    std::string ipc_dir;
    std::atomic<bool> serving{false};
    std::thread server_thread;
};
