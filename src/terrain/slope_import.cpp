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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* valid_label = "Northernmost Latitude";
constexpr int most_temporary_names = 10000;
constexpr int most_archive_names = 100000;

// ---- the slope data file -----------------------------------------------------

struct slope_source {
    std::FILE* file = nullptr;
    float north = 0, south = 0, west = 0, east = 0;  // degrees
    int latitudes = 0, columns = 0;                   // samples per column (unused) and per row
    std::int64_t rows = 0;                            // rows of the area
    long data_start = 0, data_bytes = 0;              // data_bytes: up to the last character that is not white space
};

bool label_is_valid(std::FILE* f) {
    char label[64] = {};
    return std::fscanf(f, "%63[^:]", label) == 1 && std::strcmp(label, valid_label) == 0;
}

bool white_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// The offset just after the last character that is not white space: line
// ends after the data are no data.
long end_of_text(std::FILE* f) {
    std::fseek(f, 0, SEEK_END);
    long end = std::ftell(f);
    char buffer[4096];
    while (end > 0) {
        long from = std::max(0L, end - static_cast<long>(sizeof buffer));
        auto wanted = static_cast<std::size_t>(end - from);
        if (std::fseek(f, from, SEEK_SET) != 0 || std::fread(buffer, 1, wanted, f) != wanted) return end;
        while (wanted > 0 && white_space(buffer[wanted - 1])) --wanted;
        if (wanted > 0) return from + static_cast<long>(wanted);
        end = from;
    }
    return end;
}

bool read_header_items(slope_source& s) {
    std::FILE* f = s.file;
    if (std::fscanf(f, "%*s %f", &s.north) != 1 || std::fscanf(f, "%*s %*s %f", &s.south) != 1 ||
        std::fscanf(f, "%*s %*s %f", &s.west) != 1 || std::fscanf(f, "%*s %*s %f", &s.east) != 1 ||
        std::fscanf(f, "%*s %*s %*s %d", &s.latitudes) != 1 || std::fscanf(f, "%*s %*s %*s %d", &s.columns) != 1 ||
        std::fscanf(f, "%*1x") == EOF)
        return false;
    s.data_start = std::ftell(f) - 1;
    s.data_bytes = end_of_text(f) - s.data_start;
    return s.data_start > 0;
}

bool within(float x, float limit) { return std::isfinite(x) && x >= -limit && x <= limit; }

// Samples along `span` degrees on the 3-arc-second grid, both ends counted.
std::int64_t samples_over(float span) { return round_half_away(span * 1200) + std::int64_t{1}; }

float width_of(const slope_source& s) { return s.east >= s.west ? s.east - s.west : s.east + 360 - s.west; }

// An area on the globe whose rows are as long as its width: anything else
// would have the import read samples of one row as those of another.
bool header_is_sound(const slope_source& s) {
    if (!within(s.north, 90) || !within(s.south, 90) || !within(s.west, 180) || !within(s.east, 180)) return false;
    return s.south <= s.north && s.columns >= samples_over(width_of(s));
}

// The import reads every sample of the area; a file cut short (a full disk
// during the scan, a broken copy) would lay "00" over the tiles. The file's
// size, not its header, bounds the work.
bool holds_its_area(const slope_source& s) {
    std::int64_t samples = s.data_bytes / 2;
    return samples >= (s.rows - 1) * s.columns + samples_over(width_of(s));
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

// A longitude counted eastward from the 0 meridian, 0..360.
float eastward(float longitude) { return longitude < 0 ? longitude + 360 : longitude; }

// A longitude counted on past 360 or 180, brought into -180..180.
float on_the_globe(float longitude) { return wrapped(longitude >= 360 ? longitude - 360 : longitude); }

// The longitudes the windows are counted in. As the tiles are named
// (-180..180), each value taken through 0..360 and back; but for an area
// that reaches the 180th meridian (across it, or up to it from either side)
// they go on past 180 from the area's west edge, so that the cell at 180
// and the source's samples there agree.
struct frame {
    bool past_180;
    float source_west, source_east;
};

frame frame_of(const slope_source& s, int w_index, int cell_columns) {
    float west = eastward(s.west), east = eastward(s.east);
    constexpr int cell_at_180 = 720;
    if (s.west > s.east || (w_index <= cell_at_180 && cell_at_180 < w_index + cell_columns))
        return {true, west, east < west ? east + 360 : east};
    return {false, wrapped(west), wrapped(east)};
}

cell cell_of(const slope_source& s, const frame& fr, int s_index, int w_index, int f, int j) {
    cell c{};
    c.south_edge = static_cast<float>(s_index + f) * 0.25f - 90.0f;
    float west = static_cast<float>(w_index + j) * 0.25f;
    if (!fr.past_180) west = wrapped(west);
    float last_column = west + 299.0f / 1200.0f;
    if (!fr.past_180) last_column = wrapped(last_column);
    c.west_edge = west;
    c.source_west = fr.source_west;
    c.tile_path = std::string(slope_folder) + "/" + slope_tile_name(c.south_edge, cell_west_edge(on_the_globe(west)));
    c.r0 = first_inside(s.south, c.south_edge);
    c.r1 = last_inside(s.north, c.south_edge + 299.0f / 1200.0f);
    c.c0 = first_inside(fr.source_west, west);
    c.c1 = last_inside(fr.source_east, last_column);
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
    if (row < 0 || row >= s.rows || to < from) return;
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
    return round_half_away((tile_row / 1200.0 + c.south_edge - s.south) * 1200);
}

long source_column(const cell& c, int tile_column) {
    return round_half_away((tile_column / 1200.0 + c.west_edge - c.source_west) * 1200);
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

// True when something of that name is there, or when that cannot be told
// (a file that may not be read is there all the same).
bool name_taken(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    return fs::exists(status) || (error && error != std::errc::no_such_file_or_directory);
}

// temp.<extension>, temp1.<extension> ... in the folder: the first name not
// taken. Nothing of that name is overwritten, and the name stays short.
std::string free_temporary_name(const char* folder, const char* extension) {
    for (int n = 0; n < most_temporary_names; ++n) {
        std::string path = std::string(folder) + "/temp" + (n ? std::to_string(n) : "") + extension;
        if (!name_taken(path)) return path;
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

// `error_number` is taken right after the failed write: the first box may
// change errno (on Linux its terminal test does).
void report_write_error(int error_number) {
    show_box("Error writing slope data...", "fprintf() caused an error.");
    show_box("Error writing slope data...", "SKV error: %s", std::strerror(error_number));
}

// Writes the tile whole beside it, then puts it in place. False when it
// could not be written; the old tile, if any, is left as it was.
bool put_tile(const std::string& bytes, const std::string& path) {
    std::string temporary = free_temporary_name(slope_folder, ".dat");
    std::FILE* f = temporary.empty() ? nullptr : std::fopen(temporary.c_str(), "wb");
    if (!f) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    if (!written) report_write_error(errno);
    written = std::fclose(f) == 0 && written;
    if (written && replace_file(temporary.c_str(), path.c_str())) return true;
    std::remove(temporary.c_str());
    return false;
}

bool import_cell(const slope_source& s, const cell& c) {
    bool merge = can_open(c.tile_path);
    std::string tile = merge ? old_tile(c.tile_path) : std::string(static_cast<std::size_t>(tile_bytes), '0');
    lay_source_into(s, c, tile);
    return put_tile(tile, c.tile_path);
}

// Every cell of the source, each whether or not another failed; true when
// all were written.
bool import_cells(const slope_source& s) {
    int s_index = truncate_toward_zero((s.south + 90.0f) * 4.0f);
    int n_index = truncate_toward_zero((s.north + 90.0f) * 4.0f);
    float west = eastward(s.west), east = eastward(s.east);
    int w_index = truncate_toward_zero(west * 4.0f), e_index = truncate_toward_zero(east * 4.0f);
    int rows = n_index - s_index + 1, columns = e_index - w_index + 1;
    if (columns < 0) columns += 1440;
    frame fr = frame_of(s, w_index, columns);
    bool all_written = true;
    for (int f = 0; f < rows; ++f)
        for (int j = 0; j < columns; ++j) all_written = import_cell(s, cell_of(s, fr, s_index, w_index, f, j)) && all_written;
    return all_written;
}

// ---- the archive ---------------------------------------------------------------

// The entry's name, or base + n + extension (n = 2, 3, ...) while taken.
std::string free_archive_name(const std::string& entry) {
    std::size_t dot = entry.find('.');
    std::string base = entry.substr(0, dot), extension = dot == std::string::npos ? "" : entry.substr(dot);
    std::string name = entry;
    for (int n = 2; name_taken(std::string(archive_folder) + "/" + name); ++n) {
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

// Copies the file whole into the archive under a free name; the path of
// the copy, or an empty string when it could not be made.
std::string archive(std::FILE* source, const std::string& entry) {
    std::string name = free_archive_name(entry);
    std::string part = free_temporary_name(archive_folder, ".part");
    if (name.empty() || part.empty()) return {};
    std::string final_path = std::string(archive_folder) + "/" + name;
    if (!copy_whole(source, part) || !replace_file(part.c_str(), final_path.c_str())) {
        std::remove(part.c_str());
        return {};
    }
    return final_path;
}

constexpr const char* not_valid = "The following is not a valid slope data file and will not be processed:\n\n";
constexpr const char* cut_short =
    "The following slope data file is cut short: it holds fewer samples than its area needs. It will not be "
    "processed:\n\n";
constexpr const char* tiles_not_written =
    "Not every slope tile of the following file could be written. It stays in 'Import' and will be imported "
    "again at the next start:\n\n";
constexpr const char* not_archived =
    "The following slope data file was imported, but it could not be copied into 'Import/Archive'. It stays in "
    "'Import':\n\n";

// Imports the open file into the tiles and the archive, and puts the path
// of its copy in the archive in `copy`. Null when it is done; otherwise why
// the file stays in "Import", the head of its box.
const char* import_open_file(std::FILE* f, const std::string& name, std::string* copy) {
    slope_source s;
    s.file = f;
    if (!label_is_valid(f) || !read_header_items(s) || !header_is_sound(s)) return not_valid;
    s.rows = samples_over(s.north - s.south);
    if (!holds_its_area(s)) return cut_short;
    if (!import_cells(s)) return tiles_not_written;
    *copy = archive(f, name);
    return copy->empty() ? not_archived : nullptr;
}

// A file that cannot leave "Import" (a folder that may not be written)
// would be imported and archived again at every start: its copy in the
// archive is taken back and the file stays.
bool let_go_of(const std::string& path, const std::string& copy, const std::string& name) {
    if (std::remove(path.c_str()) == 0) return true;
    int error = errno;
    std::remove(copy.c_str());
    show_box("Slope Data Archive Error",
             "The following slope data file was imported, but it could not be removed from 'Import' (%s). It stays "
             "there, and its copy in 'Import/Archive' was taken back:\n\n%s",
             std::strerror(error), name.c_str());
    return false;
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
    std::string copy;
    const char* refused = import_open_file(f, name, &copy);
    std::fclose(f);
    if (refused) {
        show_box(refused == not_archived ? "Slope Data Archive Error" : "Slope Data Import Failed", "%s%s", refused,
                 name.c_str());
        return;
    }
    if (!let_go_of(path, copy, name)) return;
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
