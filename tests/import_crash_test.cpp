// An import killed at random moments never leaves a truncated tile or a
// lost slope data file: every tile is the old one or the new one, and the
// slope data file is whole in "Import" or in the archive (or in both).
//
//   import_crash_test [TRIALS]
//
// Each trial imports one file over four cells, two of which have tiles
// already, in a child process that is killed with SIGKILL after a random
// delay within the time a whole import takes.
#include "platform/platform.h"
#include "terrain/ridge_lift.h"
#include "terrain/slope_import.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const source_name = "skv-slope.dat";
const char* const old_tiles[] = {"N47.00E011.00.slo", "N47.25E011.00.slo"};

std::string text_of(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

// 47.20 .. 47.30 N, 11.20 .. 11.30 E: parts of four cells.
std::string source_file() {
    int rows = 121, columns = 121;
    char header[400];
    std::snprintf(header, sizeof header,
                  "Northernmost Latitude: 47.3000\nSouthernmost Latitude: 47.2000\nWesternmost Longitude: 11.2000\n"
                  "Easternmost Longitude: 11.3000\n\nnumber of latitudes:   %d\nnumber of longitudes:  %d\n\n",
                  rows, columns);
    std::string text = header;
    for (int i = 0; i < rows * columns; ++i) text += "5c";
    return text;
}

void lay_out(const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder / archive_folder);
    fs::create_directories(folder / slope_folder);
    for (const char* name : old_tiles) write(folder / slope_folder / name, std::string(tile_bytes, 'a'));
    write(folder / import_folder / source_name, source_file());
}

void quiet_box(const char*, const char*) {}

// Runs an import in `folder` in a child process; kills it after `delay`
// unless it is negative. True when the child ran to its end.
bool import_in_child(const fs::path& folder, std::chrono::microseconds delay) {
    pid_t child = fork();
    if (child == 0) {
        fs::current_path(folder);
        platform_calls.message_box = quiet_box;
        import_slope_data();
        _exit(0);
    }
    if (delay.count() >= 0) {
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status);
}

struct expected_state {
    std::vector<std::pair<std::string, std::string>> new_tiles;  // name, bytes
};

std::string fault_of(const fs::path& folder, const expected_state& after) {
    for (const auto& [name, bytes] : after.new_tiles) {
        fs::path tile = folder / slope_folder / name;
        bool existed = name == old_tiles[0] || name == old_tiles[1];
        if (!fs::exists(tile)) {
            if (existed) return name + " is gone";
            continue;
        }
        std::string now = text_of(tile);
        if (now != bytes && !(existed && now == std::string(tile_bytes, 'a')))
            return name + " is neither old nor new (" + std::to_string(now.size()) + " bytes)";
    }
    std::string source = source_file();
    bool in_import = fs::exists(folder / import_folder / source_name);
    bool archived = fs::exists(folder / archive_folder / source_name);
    if (in_import && text_of(folder / import_folder / source_name) != source) return "the slope file in Import is damaged";
    if (archived && text_of(folder / archive_folder / source_name) != source) return "the archived slope file is damaged";
    if (!in_import && !archived) return "the slope file is lost";
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    int trials = argc > 1 ? std::atoi(argv[1]) : 100;
    fs::path root = fs::temp_directory_path() / ("skarvo-import-crash-" + std::to_string(getpid()));
    fs::path folder = root / "trial";

    // One whole import: how long it takes and what it leaves.
    lay_out(folder);
    auto start = std::chrono::steady_clock::now();
    import_in_child(folder, std::chrono::microseconds(-1));
    auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    expected_state after;
    for (const auto& tile : fs::directory_iterator(folder / slope_folder))
        if (tile.path().extension() == ".slo") after.new_tiles.push_back({tile.path().filename().string(), text_of(tile.path())});
    if (after.new_tiles.size() != 4) {
        std::fprintf(stderr, "import_crash_test: a whole import made %zu tiles, not 4\n", after.new_tiles.size());
        return 1;
    }

    std::mt19937 random(12345);
    int interrupted = 0, faults = 0;
    for (int t = 0; t < trials; ++t) {
        lay_out(folder);
        std::uniform_int_distribution<long> when(0, whole.count());
        interrupted += !import_in_child(folder, std::chrono::microseconds(when(random)));
        std::string fault = fault_of(folder, after);
        if (!fault.empty()) {
            std::fprintf(stderr, "trial %d: %s\n", t + 1, fault.c_str());
            ++faults;
        }
    }
    fs::remove_all(root);
    std::printf("import crash test: %d trials, %d killed during the import (a whole import takes %.1f ms): %d faults\n",
                trials, interrupted, static_cast<double>(whole.count()) / 1000.0, faults);
    return faults == 0 ? 0 : 1;
}
