// A stand-in simulator served from a thread of the test process, over the
// real Linux transport, in an IPC folder of its own.
#pragma once

#include "scenario.h"
#include "simlink/link.h"
#include "server.h"
#include "world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

class in_process_sim : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/skarvo-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        ipc_dir = dir;
        setenv("FSUIPC_IPC_DIR", dir, 1);
        load_scenario("");
    }

    void TearDown() override {
        link_close();
        stop_server();
        std::system(("rm -rf '" + ipc_dir + "'").c_str());
    }

    // Loads the scenario text into the world (before the server starts).
    void load_scenario(const std::string& text) {
        std::string error;
        ASSERT_TRUE(sim::load_scenario_text(text, &error)) << error;
    }

    void start_server(const char* window_class = "UIPCMAIN") {
        std::string error;
        ASSERT_TRUE(sim::open_server(window_class, &error)) << error;
        serving = true;
        server_thread = std::thread([this] {
            while (serving) sim::serve(5);
        });
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
        sim::close_server();
    }

    std::string ipc_dir;
    std::atomic<bool> serving{false};
    std::thread server_thread;
};
