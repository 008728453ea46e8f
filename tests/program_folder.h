// Tests of the parts of the program that work on files: like the program
// they work in a folder of their own, with the settings clean and message
// boxes caught, against the stand-in simulator in-process.
#pragma once

#include "in_process_sim.h"
#include "settings_support.h"

#include "config/settings.h"
#include "driver/session.h"
#include "thermals/thermal_state.h"

#include <filesystem>

class program_folder_test : public in_process_sim {
protected:
    void SetUp() override {
        in_process_sim::SetUp();
        start_clean_settings();
        home = std::filesystem::current_path();
        work = std::filesystem::path(make_temp_folder("skarvo-files"));
        std::filesystem::current_path(work);
    }
    void TearDown() override {
        in_process_sim::TearDown();
        std::filesystem::current_path(home);
        std::error_code ignored;
        std::filesystem::remove_all(work, ignored);
        stop_catching();
        reset_settings();
        reset_thermal_state();
        reset_session();
    }
    std::filesystem::path home, work;
};
