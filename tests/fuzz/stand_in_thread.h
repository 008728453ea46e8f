// Fuzz targets that fly: the stand-in simulator served from a thread of the
// target's own, in a link folder below the scratch folder, until the run
// ends.
#pragma once

#include "scenario.h"
#include "server.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

inline bool start_stand_in(const char* scenario) {
    static std::atomic<bool> serving{true};
    static std::thread server;
    std::string folder = (std::filesystem::current_path() / "ipc").string();
    std::filesystem::create_directories(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);  // the link's folder is the user's alone
    setenv("FSUIPC_IPC_DIR", folder.c_str(), 1);
    std::string error;
    if (!sim::load_scenario_text(scenario, &error) || !sim::open_server("UIPCMAIN", &error)) {
        std::fprintf(stderr, "the stand-in did not start: %s\n", error.c_str());
        std::abort();
    }
    server = std::thread([] {
        while (serving) sim::serve(5);
        sim::close_server();
    });
    std::atexit([] {
        serving = false;
        server.join();
    });
    return true;
}
