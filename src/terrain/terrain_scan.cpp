// The terrain scan. The area is widened by one grid step on every side, so
// that every point of the area itself has its four neighbours; the points
// are visited row by row, west to east and back, and their elevations go to
// zig-zag.dat as visited, then to skv-elev.dat in grid order, from which the
// slope of every inner point is computed.
#include "terrain/terrain_scan.h"

#include "config/rounding.h"
#include "driver/messages.h"
#include "driver/session.h"
#include "simlink/link.h"
#include "simlink/offsets.h"
#include "terrain/slope_import.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr float grid_step = 1.0f / 1200.0f;
constexpr double degree_factor = 0.0174533;
constexpr double step_length_m = 92.6;  // one grid step of 3 arc-seconds
constexpr const char* zig_zag_file = "zig-zag.dat";
constexpr const char* elevation_file = "skv-elev.dat";
constexpr const char* slope_file = "skv-slope.dat";

struct area {
    float north, south, west, east;  // degrees
    int rows, columns;
};

// A simulator busy loading scenery may let a batch time out: it is lost
// and sent again. The scan gives up when the simulator's window has gone,
// or when it has not answered four batches in a row (nine tries of 2 s
// each: about 75 s).
constexpr int most_lost_batches = 4;
bool simulator_lost = false;

// Queues the batch with `queue` and processes it until it is answered.
template <typename queue_batch>
bool exchange(queue_batch queue) {
    for (int lost = 0; lost < most_lost_batches && !simulator_lost; ++lost) {
        queue();
        if (link_process(&link_result)) return true;
        if (link_server_gone()) break;
    }
    simulator_lost = true;
    return false;
}

void write_position(const fsuipc_offset& low, const fsuipc_offset& high, double units) {
    auto whole = static_cast<std::int32_t>(std::trunc(units));
    auto fraction = static_cast<std::uint32_t>(std::fabs(units - whole) * 4294967296.0);
    exchange([&] {
        link_write(high.offset, high.bytes, &whole, &link_result);
        link_write(low.offset, low.bytes, &fraction, &link_result);
    });
}

void write_header(std::FILE* f, float north, float south, float west, float east, int rows, int columns) {
    std::fprintf(f, "Northernmost Latitude: %3.4f\n", static_cast<double>(north));
    std::fprintf(f, "Southernmost Latitude: %3.4f\n", static_cast<double>(south));
    std::fprintf(f, "Westernmost Longitude: %3.4f\n", static_cast<double>(west));
    std::fprintf(f, "Easternmost Longitude: %3.4f\n\n", static_cast<double>(east));
    std::fprintf(f, "number of latitudes:   %d\n", rows);
    std::fprintf(f, "number of longitudes:  %d\n\n", columns);
}

double elapsed_now(double previous) {
    double t = previous;
    exchange([&] { link_read(off_elapsed_seconds.offset, off_elapsed_seconds.bytes, &t, &link_result); });
    return t;
}

// Lets the simulator's time move on by `settle_seconds`.
void settle(float settle_seconds) {
    double t0 = elapsed_now(0.0);
    double passed = 0.0;
    while (passed < settle_seconds && !simulator_lost) passed = elapsed_now(t0) - t0;
}

std::int16_t ground_here() {
    std::int16_t ground = 0;
    exchange([&] { link_read(off_ground_elevation.offset, off_ground_elevation.bytes, &ground, &link_result); });
    return ground;
}

void show_progress(const area& a, int i, int j) {
    std::uint32_t total = static_cast<std::uint32_t>(a.rows) * static_cast<std::uint32_t>(a.columns);
    std::uint32_t done = static_cast<std::uint32_t>(i) * static_cast<std::uint32_t>(a.columns) + static_cast<std::uint32_t>(j) + 1;
    format_message("Scan Progress: %d%c  Do not minimize FS during this scan!", static_cast<int>(done * 100 / total), '%');
    show_sim_message(message_text, 0);
}

// Grid point k steps on from an edge, in single precision, from the edge
// each time.
float grid_point(float edge, int k) { return edge + static_cast<float>(k) / 1200.0f; }

// The sampling pass. False when the simulator went away before the end or
// the samples could not be written.
bool sample_area(const area& a, float settle_seconds, std::FILE* zig_zag) {
    for (int i = 0; i < a.rows; ++i) {
        set_aircraft_latitude(grid_point(a.south, i));
        for (int j = 0; j < a.columns; ++j) {
            int column = i % 2 == 0 ? j : a.columns - 1 - j;
            set_aircraft_longitude(grid_point(a.west, column));
            settle(settle_seconds);
            std::int16_t ground = ground_here();
            if (simulator_lost || link_server_gone()) return false;
            std::fprintf(zig_zag, "%04d", ground);
            show_progress(a, i, j);
            if (std::ferror(zig_zag)) return false;
        }
    }
    return true;
}

// Reads the four-character elevation record at `at`; false when it cannot.
bool read_record(std::FILE* f, long at, int* value) {
    return std::fseek(f, at, SEEK_SET) == 0 && std::fscanf(f, "%4d", value) == 1;
}

// The zig-zag order back into grid order, row by row from west to east.
void write_elevations_in_grid_order(const area& a, std::FILE* zig_zag, std::FILE* elevations) {
    for (int k = 0; k < a.rows; ++k)
        for (int l = 0; l < a.columns; ++l) {
            long index = static_cast<long>(k) * a.columns + (k % 2 == 0 ? l : a.columns - 1 - l);
            int value = 0;
            if (std::fseek(zig_zag, 4 * index, SEEK_SET) != 0) {
                show_box("'make_topo' function", "'fseek' returned an error");
            } else if (std::fscanf(zig_zag, "%4d", &value) != 1) {
                value = 0;
                show_box("'make_topo' function", "'fscanf' returned an error");
            }
            std::fprintf(elevations, "%04d", value);
        }
}

// Where the records start: after six lines of header and the blank lines
// that follow, at the first character that is not white space.
long data_start_of(std::FILE* f) {
    int lines = 0, c;
    bool line_has_text = false;
    while (lines < 6 && (c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines += line_has_text;
            line_has_text = false;
        } else if (c != '\r' && c != ' ' && c != '\t') {
            line_has_text = true;
        }
    }
    while ((c = std::fgetc(f)) != EOF && (c == '\n' || c == '\r' || c == ' ' || c == '\t')) {
    }
    return c == EOF ? -1 : std::ftell(f) - 1;
}

void write_slopes(const area& a, std::FILE* elevations, long data_start, float northern_boundary, std::FILE* slopes) {
    auto record = [&](int i, int j) {
        int value = 0;
        read_record(elevations, data_start + 4L * (static_cast<long>(i) * a.columns + j), &value);
        return value;
    };
    for (int i = 1; i <= a.rows - 2; ++i)
        for (int j = 1; j <= a.columns - 2; ++j) {
            slope_codes s = slope_of(record(i + 1, j), record(i - 1, j), record(i, j + 1), record(i, j - 1), northern_boundary);
            std::fprintf(slopes, "%x%x", static_cast<unsigned>(s.aspect), static_cast<unsigned>(s.slope));
        }
}

float degrees_of(float radians) { return radians * 180.0f * (1.0f / 3.14159f); }

area widened(float north, float south, float west, float east) {
    area a{degrees_of(north) + grid_step, degrees_of(south) - grid_step, degrees_of(west) - grid_step,
           degrees_of(east) + grid_step, 0, 0};
    a.rows = round_half_away((a.north - a.south) * 1200.0f) + 1;
    a.columns = round_half_away((a.east - a.west) * 1200.0f) + 1;
    return a;
}

// A file written whole and closed; false (and errno kept) when any write or
// the close failed.
bool closed_whole(std::FILE* f) {
    bool written = !std::ferror(f);
    return std::fclose(f) == 0 && written;
}

// A file whose records are each read after an fseek, which empties the
// stream's buffer: with a small buffer each refill stays small (with the
// usual 4 KB one a scan of half a million points reads its files thousands
// of times over).
std::FILE* open_for_records(const char* name) {
    std::FILE* f = std::fopen(name, "rb");
    if (f) std::setvbuf(f, nullptr, _IOFBF, 32);
    return f;
}

// The zig-zag records in grid order into skv-elev.dat. On failure the
// samples stay in zig-zag.dat and the box says why.
bool write_elevation_file(const area& a) {
    std::FILE* zig_zag = open_for_records(zig_zag_file);
    std::FILE* elevations = zig_zag ? std::fopen(elevation_file, "w") : nullptr;
    bool written = elevations != nullptr;
    if (elevations) {
        write_header(elevations, a.north, a.south, a.west, a.east, a.rows, a.columns);
        write_elevations_in_grid_order(a, zig_zag, elevations);
        written = closed_whole(elevations);
    }
    int error = errno;
    if (zig_zag) std::fclose(zig_zag);
    if (written) {
        std::remove(zig_zag_file);
        return true;
    }
    std::remove(elevation_file);
    show_box("Slope data file not built.  Exiting...",
             "'%s' could not be written: %s.\n\nThe elevations of the scan are kept in 'zig-zag.dat'.", elevation_file,
             std::strerror(error));
    return false;
}

// The slopes of the inner points into the slope data file at `path`. On
// failure nothing of it is left, skv-elev.dat is kept and the box says why.
bool write_slope_file(const area& a, const std::string& path) {
    float north = snap_to_3_arcseconds(a.north - grid_step);
    std::FILE* elevations = open_for_records(elevation_file);
    long start = elevations ? data_start_of(elevations) : -1;
    if (start < 0) {
        if (elevations) std::fclose(elevations);
        show_box("Slope data file not built.  Exiting...",
                 "'%s' could not be read back, and no slope data file was written.", elevation_file);
        return false;
    }
    std::FILE* slopes = std::fopen(path.c_str(), "w");
    bool created = slopes != nullptr, written = created;
    if (created) {
        write_header(slopes, north, snap_to_3_arcseconds(a.south + grid_step), snap_to_3_arcseconds(a.west + grid_step),
                     snap_to_3_arcseconds(a.east - grid_step), a.rows - 2, a.columns - 2);
        write_slopes(a, elevations, start, north, slopes);
        written = closed_whole(slopes);
    }
    int error = errno;
    std::fclose(elevations);
    if (written) return true;
    if (created) std::remove(path.c_str());
    show_box("Slope data file not built.  Exiting...",
             "'%s' could not be written: %s.\n\nThe elevations of the scan are kept in 'skv-elev.dat'.", path.c_str(),
             std::strerror(error));
    return false;
}

// A slope data file the import has kept in "Import" (to be imported again)
// is not overwritten by the new scan's: it moves to a free name there, and
// a box says so. False when it is there and cannot be moved.
bool move_earlier_slope_file(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return true;
    for (int n = 2; n < 10000; ++n) {
        std::string moved = std::string(import_folder) + "/skv-slope" + std::to_string(n) + ".dat";
        if (std::filesystem::exists(moved, error) || error) continue;
        std::filesystem::rename(path, moved, error);
        if (error) break;
        show_box("Slope data file kept",
                 "'%s' of an earlier scan has not been imported yet. It is kept as '%s'; the new scan's file is "
                 "'%s'.",
                 path.c_str(), moved.c_str(), path.c_str());
        return true;
    }
    show_box("Slope data file not built.  Exiting...",
             "'%s' of an earlier scan has not been imported yet, and it could not be moved aside: %s.\n\nThe "
             "elevations of the scan are kept in 'skv-elev.dat'.",
             path.c_str(), error ? error.message().c_str() : "no free name");
    return false;
}

// The elevation file, then the slope data file, then the box that says
// where it is. Nothing the scan found is deleted unless the next file holds it.
void write_files(const area& a, int keep_elevation_file) {
    if (!write_elevation_file(a)) return;
    // A folder that cannot be entered (no search permission) holds nothing
    // that can be opened: its "." cannot be looked up either.
    std::error_code error;
    bool into_import = std::filesystem::is_directory(std::filesystem::path(import_folder) / ".", error);
    std::string slope_path = into_import ? std::string(import_folder) + "/" + slope_file : slope_file;
    if (into_import && !move_earlier_slope_file(slope_path)) return;
    if (!write_slope_file(a, slope_path)) return;
    if (keep_elevation_file == 0) std::remove(elevation_file);
    show_box("Slope data file built.  Exiting...",
             into_import ? "You will find it in your Skarvo 'Import' folder.\n\nFile name: 'skv-slope.dat'."
                         : "You will find it in your Skarvo program folder.\n\nFile name: 'skv-slope.dat'.");
}

// Why the sampling pass did not finish, for its box.
std::string why_unfinished(int file_error) {
    if (link_server_gone()) return "the simulator has gone";
    if (simulator_lost) return "the simulator has not answered for over a minute";
    return std::string("'") + zig_zag_file + "' could not be written (" + std::strerror(file_error) + ")";
}

}  // namespace

void set_aircraft_latitude(double degrees) {
    write_position(off_latitude_low, off_latitude_high, degrees * 10001750.0 / 90.0);
}

// A grid widened past the 180th meridian goes on beyond +-180 degrees; the
// simulator's longitude covers -180 up to 180 only.
void set_aircraft_longitude(double degrees) {
    if (degrees >= 180)
        degrees -= 360;
    else if (degrees < -180)
        degrees += 360;
    write_position(off_longitude_low, off_longitude_high, degrees * 4294967296.0 / 360.0);
}

slope_codes slope_of(int north, int south, int east, int west, float northern_boundary) {
    auto dy = static_cast<std::int16_t>(south - north);
    auto dx = static_cast<std::int16_t>(round_half_away((west - east) / std::cos(northern_boundary * degree_factor)));
    if (dy == 0 && dx == 0) return {0, 0};
    int alpha = round_half_away(std::atan2(static_cast<double>(dx), static_cast<double>(dy)) / degree_factor);
    if (alpha < 0) alpha += 360;
    std::int16_t m;
    if (dy == 0) {
        m = static_cast<std::int16_t>(std::abs(dx));
    } else if (dx == 0) {
        m = static_cast<std::int16_t>(std::abs(dy));
    } else {
        auto q = static_cast<float>(alpha / 90.0 - truncate_toward_zero(alpha / 90.0));
        if (q > 0.5) q = 1 - q;
        auto f = static_cast<float>(q + 0.6 + 1.0);
        m = static_cast<std::int16_t>(truncate_toward_zero(static_cast<float>(std::max(std::abs(dx), std::abs(dy))) * f));
    }
    int aspect = round_half_away(alpha / 22.5);
    if (aspect == 16) aspect = 0;
    int slope = round_half_away(std::atan2(static_cast<double>(m), step_length_m) / degree_factor / 6.0);
    return {aspect, slope};
}

void make_topo(float north, float south, float west, float east, int keep_elevation_file, float settle_seconds) {
    if (!open_simulator_link()) return;
    simulator_lost = false;
    area a = widened(north, south, west, east);
    const std::int16_t slew_on = 1;
    const std::int32_t scan_altitude = 6096;
    exchange([&] {
        link_write(off_slew_mode.offset, off_slew_mode.bytes, &slew_on, &link_result);
        link_write(off_altitude.offset, off_altitude.bytes, &scan_altitude, &link_result);
    });
    std::FILE* zig_zag = std::fopen(zig_zag_file, "wb");
    int error = errno;
    set_aircraft_latitude(a.south);
    set_aircraft_longitude(a.west);
    show_box("Moving to starting position...", "Click 'OK' when the plane's position has stabilized.");
    bool sampled = zig_zag && sample_area(a, settle_seconds, zig_zag);
    // For a small area every record reaches the disk only at the close.
    bool written = zig_zag && closed_whole(zig_zag);
    if (zig_zag && !written) error = errno;
    if (!sampled || !written) {
        std::remove(zig_zag_file);
        show_box("Skarvo 2004", "The terrain scan did not finish: %s.\n\nThe SKV topo data file was not created.",
                 why_unfinished(error).c_str());
        link_close();
        return;
    }
    show_sim_message("Scan Complete", 5);
    write_files(a, keep_elevation_file);
    show_sim_message("Skarvo has exited.", 5);
    link_close();
}
