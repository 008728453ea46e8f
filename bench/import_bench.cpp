// How long the import of slope data takes: a file of 1 x 1 degree (16
// tiles, 1.44 million samples) into an empty "Slope Data", then merged into
// the tiles it made, beside a plain sequential copy of as many bytes as the
// tiles hold, measured in the same run.
//
//   import_bench
#include "platform/platform.h"
#include "terrain/ridge_lift.h"
#include "terrain/slope_import.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using clock_type = std::chrono::steady_clock;

void quiet_box(const char*, const char*) {}

// 47 N 11 E and 1199/1200 degree on: 1200 x 1200 samples.
std::string one_degree_file() {
    std::string text =
        "Northernmost Latitude: 47.9992\nSouthernmost Latitude: 47.0000\nWesternmost Longitude: 11.0000\n"
        "Easternmost Longitude: 11.9992\n\nnumber of latitudes:   1200\nnumber of longitudes:  1200\n\n";
    const char digits[] = "0123456789abcdef";
    for (int r = 0; r < 1200; ++r)
        for (int c = 0; c < 1200; ++c) text += {digits[r % 16], digits[c % 16]};
    return text;
}

double timed_import(const std::string& source) {
    std::ofstream(fs::path(import_folder) / "skv-slope.dat", std::ios::binary) << source;
    auto start = clock_type::now();
    import_slope_data();
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

double timed_copy(std::size_t bytes) {
    std::vector<char> buffer(1 << 16, 'x');
    {
        std::ofstream out("copy-source", std::ios::binary);
        for (std::size_t n = 0; n < bytes; n += buffer.size()) out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    }
    auto start = clock_type::now();
    std::FILE* in = std::fopen("copy-source", "rb");
    std::FILE* out = std::fopen("copy-target", "wb");
    for (std::size_t n; in && out && (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) std::fwrite(buffer.data(), 1, n, out);
    if (in) std::fclose(in);
    if (out) std::fclose(out);
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

}  // namespace

int main() {
    fs::path folder = fs::temp_directory_path() / ("skarvo-import-bench-" + std::to_string(process_id()));
    fs::create_directories(folder / archive_folder);
    fs::current_path(folder);
    platform_calls.message_box = quiet_box;
    std::string source = one_degree_file();
    double fresh = timed_import(source);
    double merged = timed_import(source);
    std::size_t tiles = 0;
    for (const auto& e : fs::directory_iterator(slope_folder)) tiles += e.path().extension() == ".slo";
    double copy = timed_copy(tiles * static_cast<std::size_t>(tile_bytes));
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    std::printf("tiles:                        %zu (%zu bytes each)\n", tiles, static_cast<std::size_t>(tile_bytes));
    std::printf("import into new tiles:        %.3f s, %.1f x a plain copy of the bytes (target at most 10 s)\n", fresh,
                fresh / copy);
    std::printf("merged into existing tiles:   %.3f s, %.1f x a plain copy of the bytes\n", merged, merged / copy);
    std::printf("plain sequential copy:        %.3f s\n", copy);
    return 0;
}
