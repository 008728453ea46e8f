// Fuzz targets that work on files: a scratch folder of the target's own,
// entered once and removed when the run ends.
#pragma once

#include "platform/platform.h"

#include <cstdlib>
#include <filesystem>
#include <string>

inline bool enter_scratch_folder(const char* prefix) {
    namespace fs = std::filesystem;
    static fs::path made = fs::temp_directory_path() / (std::string(prefix) + std::to_string(process_id()));
    fs::create_directories(made);
    fs::current_path(made);
    std::atexit([] {
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(made, ignored);
    });
    return true;
}
