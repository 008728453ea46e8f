// libFuzzer target: any bytes as a slope data file in "Import" are imported
// or refused without a crash, a sanitizer report or a tile of the wrong
// length, and the file ends either still in "Import" or in the archive.
#include "scratch_folder.h"
#include "settings_support.h"

#include "platform/platform.h"
#include "terrain/ridge_lift.h"
#include "terrain/slope_import.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void fail(const char* what) {
    std::fprintf(stderr, "slope import: %s\n", what);
    std::abort();
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static bool entered = enter_scratch_folder("skarvo-import-fuzz-");
    (void)entered;
    std::error_code ignored;
    fs::remove_all(slope_folder, ignored);
    fs::remove_all(import_folder, ignored);
    fs::create_directories(archive_folder);
    std::ofstream(fs::path(import_folder) / "skv-slope.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    start_clean_settings();
    import_slope_data();
    bool still_there = fs::exists(fs::path(import_folder) / "skv-slope.dat");
    bool archived = fs::exists(fs::path(archive_folder) / "skv-slope.dat");
    if (still_there == archived) fail("the file is neither in Import nor in the archive, or in both");
    if (fs::exists(slope_folder))
        for (const auto& tile : fs::directory_iterator(slope_folder))
            if (tile.path().extension() == ".slo" && fs::file_size(tile.path()) != static_cast<std::uintmax_t>(tile_bytes))
                fail("a tile of the wrong length");
    return 0;
}
