// Slope data import and archive.
//
// A tile is always written whole to a temporary file and then put in the
// place of the old one in one step, and a slope data file is copied whole
// into the archive before it leaves "Import": whenever the program stops,
// every tile is either the old one or the new one, and the slope data file
// is still in "Import" or safely in the archive.
#include "terrain/slope_import.h"

#include "config/rounding.h"
#include "driver/messages.h"
#include "platform/platform.h"
#include "terrain/ridge_lift.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* valid_label = "Northernmost Latitude";
constexpr float largest_area_degrees = 4.0f;  // a header claiming more is not believed
constexpr int most_temporary_names = 10000;
constexpr int most_archive_names = 100000;

// ---- the slope data file -----------------------------------------------------

struct slope_source {
    std::FILE* file = nullptr;
    float north = 0, south = 0, west = 0, east = 0;  // degrees
    int latitudes = 0, columns = 0;                   // samples per column and per row
    long data_start = 0, data_bytes = 0;
};

bool label_is_valid(std::FILE* f) {
    char label[64] = {};
    return std::fscanf(f, "%63[^:]", label) == 1 && std::strcmp(label, valid_label) == 0;
}

bool read_header_items(slope_source& s) {
    std::FILE* f = s.file;
    if (std::fscanf(f, "%*s %f", &s.north) != 1 || std::fscanf(f, "%*s %*s %f", &s.south) != 1 ||
        std::fscanf(f, "%*s %*s %f", &s.west) != 1 || std::fscanf(f, "%*s %*s %f", &s.east) != 1 ||
        std::fscanf(f, "%*s %*s %*s %d", &s.latitudes) != 1 || std::fscanf(f, "%*s %*s %*s %d", &s.columns) != 1 ||
        std::fscanf(f, "%*1x") == EOF)
        return false;
    s.data_start = std::ftell(f) - 1;
    std::fseek(f, 0, SEEK_END);
    s.data_bytes = std::ftell(f) - s.data_start;
    return s.data_start > 0;
}

bool within(float x, float limit) { return std::isfinite(x) && x >= -limit && x <= limit; }

// Samples along `span` degrees on the 3-arc-second grid, both ends counted.
long samples_over(float span) { return round_half_away(span * 1200.0f) + 1L; }

// A header whose area, counts and data do not agree would have the import
// loop over a world of cells or read past its data.
bool header_is_sound(const slope_source& s) {
    if (!within(s.north, 90) || !within(s.south, 90) || !within(s.west, 180) || !within(s.east, 180)) return false;
    float width = s.east >= s.west ? s.east - s.west : s.east + 360.0f - s.west;
    if (s.south > s.north || s.north - s.south > largest_area_degrees || width > largest_area_degrees) return false;
    if (s.latitudes < 1 || s.columns < 1) return false;
    if (s.latitudes != samples_over(s.north - s.south) || s.columns != samples_over(width)) return false;
    long promised = 2L * s.latitudes * s.columns;
    return s.data_bytes <= promised + 2;  // a line end may follow the data
}

// ---- cells and their windows -------------------------------------------------

struct cell {
    float south_edge, west_edge;  // degrees; the west edge as the window counts it
    std::string tile_path;
    int r0, r1, c0, c1;           // the tile rows and columns the source covers
    float source_west;            // the source's west edge in the same frame as west_edge
};

int first_inside(float from, float edge) {
    int r = round_half_away((from - edge) * 1200.0f);
    return r < 0 ? 0 : r;
}

int last_inside(float to, float last_edge) {
    int r = round_half_away((to - last_edge) * 1200.0f);
    return r > 0 ? tile_rows - 1 : tile_rows - 1 + r;
}

float wrapped(float longitude) { return longitude > 180.0f ? longitude - 360.0f : longitude; }

// The cell of row f and column j of the source's cells. Longitudes are
// taken in -180..180 as the tiles are named; an area across the 180th
// meridian is windowed with the longitudes east of it counted on past 180,
// so that its cells there get their data too.
cell cell_of(const slope_source& s, int s_index, int w_index, int f, int j, bool across_180) {
    cell c{};
    c.south_edge = static_cast<float>(s_index + f) * 0.25f - 90.0f;
    float west = static_cast<float>(w_index + j) * 0.25f;
    float last_column = west + 299.0f / 1200.0f;
    float source_east = s.east;
    c.source_west = s.west;
    if (across_180) {
        if (source_east < 0) source_east += 360.0f;
    } else {
        west = wrapped(west);
        last_column = wrapped(last_column);
    }
    c.west_edge = west;
    c.tile_path = std::string(slope_folder) + "/" + slope_tile_name(c.south_edge, cell_west_edge(wrapped(west)));
    c.r0 = first_inside(s.south, c.south_edge);
    c.r1 = last_inside(s.north, c.south_edge + 299.0f / 1200.0f);
    c.c0 = first_inside(c.source_west, west);
    c.c1 = last_inside(source_east, last_column);
    return c;
}

// ---- reading the source ------------------------------------------------------

struct row_reader {
    std::vector<char> bytes;
    long first_column = 0;
    bool seek_failed = false;
};

// Reads the source row's samples from column `from` to `to` in one go.
void read_source_row(const slope_source& s, long row, long from, long to, row_reader& r) {
    r.bytes.clear();
    r.first_column = from;
    r.seek_failed = false;
    if (row < 0 || row >= s.latitudes || to < from) return;
    from = std::max(from, 0L);
    to = std::min(to, static_cast<long>(s.columns) - 1);
    r.first_column = from;
    if (to < from) return;
    if (std::fseek(s.file, s.data_start + (row * s.columns + from) * 2, SEEK_SET) != 0) {
        r.seek_failed = true;
        return;
    }
    r.bytes.resize(static_cast<std::size_t>(to - from + 1) * 2);
    r.bytes.resize(std::fread(r.bytes.data(), 1, r.bytes.size(), s.file));
}

// The two characters of a sample; what the source does not hold is "0".
void copy_sample(const row_reader& r, long column, char* out) {
    long at = (column - r.first_column) * 2;
    for (int k = 0; k < 2; ++k) {
        bool held = column >= r.first_column && at + k < static_cast<long>(r.bytes.size());
        out[k] = held ? r.bytes[static_cast<std::size_t>(at + k)] : '0';
    }
}

long source_row(const cell& c, const slope_source& s, int tile_row) {
    return round_half_away((static_cast<float>(tile_row) / 1200.0f + c.south_edge - s.south) * 1200.0f);
}

long source_column(const cell& c, int tile_column) {
    return round_half_away((static_cast<float>(tile_column) / 1200.0f + c.west_edge - c.source_west) * 1200.0f);
}

// Lays the source's samples inside the window over the tile's bytes.
void lay_source_into(const slope_source& s, const cell& c, std::string& tile) {
    row_reader row;
    for (int r = c.r0; r <= c.r1; ++r) {
        read_source_row(s, source_row(c, s, r), source_column(c, c.c0), source_column(c, c.c1), row);
        if (row.seek_failed) show_box("'import' function", "'fseek' returned an error");
        for (int col = c.c0; col <= c.c1; ++col)
            copy_sample(row, source_column(c, col), &tile[static_cast<std::size_t>(r * tile_row_bytes + col * 2)]);
    }
}

// ---- writing tiles -----------------------------------------------------------

bool can_open(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// temp.dat, temp1.dat, temp2.dat ...: the first name not in use.
std::string free_temporary_name() {
    for (int n = 0; n < most_temporary_names; ++n) {
        std::string path = std::string(slope_folder) + "/temp" + (n ? std::to_string(n) : "") + ".dat";
        if (!can_open(path)) return path;
    }
    return {};
}

// The existing tile's bytes; whatever it does not hold reads as "0".
std::string old_tile(const std::string& path) {
    std::string bytes(static_cast<std::size_t>(tile_bytes), '0');
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::fill(bytes.begin() + static_cast<long>(got - got % 2), bytes.end(), '0');
    }
    return bytes;
}

void report_write_error() {
    show_box("Error writing slope data...", "fprintf() caused an error.");
    show_box("Error writing slope data...", "SKV error: %s", std::strerror(errno));
}

// Writes the tile whole beside it, then puts it in place. A tile that
// cannot be written is skipped.
void put_tile(const std::string& bytes, const std::string& path) {
    std::string temporary = free_temporary_name();
    std::FILE* f = temporary.empty() ? nullptr : std::fopen(temporary.c_str(), "wb");
    if (!f) return;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::ferror(f)) report_write_error();
    written = std::fclose(f) == 0 && written;
    if (!written || !replace_file(temporary.c_str(), path.c_str())) std::remove(temporary.c_str());
}

void import_cell(const slope_source& s, const cell& c) {
    bool merge = can_open(c.tile_path);
    std::string tile = merge ? old_tile(c.tile_path) : std::string(static_cast<std::size_t>(tile_bytes), '0');
    lay_source_into(s, c, tile);
    put_tile(tile, c.tile_path);
}

void import_cells(const slope_source& s) {
    int s_index = truncate_toward_zero((s.south + 90.0f) * 4.0f);
    int n_index = truncate_toward_zero((s.north + 90.0f) * 4.0f);
    float west = s.west < 0 ? s.west + 360.0f : s.west, east = s.east < 0 ? s.east + 360.0f : s.east;
    int w_index = truncate_toward_zero(west * 4.0f), e_index = truncate_toward_zero(east * 4.0f);
    int rows = n_index - s_index + 1, columns = e_index - w_index + 1;
    if (columns < 0) columns += 1440;
    bool across_180 = s.west > s.east;
    for (int f = 0; f < rows; ++f)
        for (int j = 0; j < columns; ++j) import_cell(s, cell_of(s, s_index, w_index, f, j, across_180));
}

// ---- the archive ---------------------------------------------------------------

// The entry's name, or base + n + extension (n = 2, 3, ...) while taken.
std::string free_archive_name(const std::string& entry) {
    std::size_t dot = entry.find('.');
    std::string base = entry.substr(0, dot), extension = dot == std::string::npos ? "" : entry.substr(dot);
    std::string name = entry;
    for (int n = 2; can_open(std::string(archive_folder) + "/" + name); ++n) {
        if (n > most_archive_names) return {};
        name = base + std::to_string(n) + extension;
    }
    return name;
}

bool copy_whole(std::FILE* from, const std::string& to) {
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) return false;
    std::rewind(from);
    char buffer[65536];
    bool ok = true;
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, from)) > 0;)
        ok = std::fwrite(buffer, 1, n, out) == n && ok;
    ok = !std::ferror(from) && std::fclose(out) == 0 && ok;
    return ok;
}

// Copies the file whole into the archive, then lets go of it in "Import".
bool archive(std::FILE* source, const std::string& entry) {
    std::string name = free_archive_name(entry);
    if (name.empty()) return false;
    std::string final_path = std::string(archive_folder) + "/" + name, part = final_path + ".part";
    if (!copy_whole(source, part) || !replace_file(part.c_str(), final_path.c_str())) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}

void import_entry(const fs::directory_entry& entry) {
    std::string name = entry.path().filename().string();
    std::string path = std::string(import_folder) + "/" + name;
    std::error_code ignored;
    std::FILE* f = entry.is_directory(ignored) ? nullptr : std::fopen(path.c_str(), "rb");
    if (!f) {
        show_box("Slope Data Import Error", "The following slope data file could not be opened:\n\n%s", name.c_str());
        return;
    }
    slope_source s;
    s.file = f;
    if (!label_is_valid(f) || !read_header_items(s) || !header_is_sound(s)) {
        std::fclose(f);
        show_box("Slope Data Import Failed",
                 "The following is not a valid slope data file and will not be processed:\n\n%s", name.c_str());
        return;
    }
    import_cells(s);
    bool archived = archive(f, name);
    std::fclose(f);
    if (!archived) return;
    std::remove(path.c_str());
    show_box("Slope Data Import Successful", "The following slope data file was imported successfully:\n\n%s",
             name.c_str());
}

std::vector<fs::directory_entry> entries_of_import() {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(import_folder, error), end; !error && it != end; it.increment(error))
        if (it->path().filename() != "Archive") entries.push_back(*it);
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

void import_slope_data() {
    std::error_code error;
    if (!fs::is_directory(import_folder, error)) return;
    std::vector<fs::directory_entry> entries = entries_of_import();
    if (entries.empty()) return;
    fs::create_directories(slope_folder, error);
    fs::create_directories(archive_folder, error);
    for (const auto& entry : entries) import_entry(entry);
}
