#include "flight_log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace sim {

flight_log flight;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double km_per_degree = 111.12;
constexpr double shortest_climb_seconds = 30;
constexpr double least_climb_m = 50;

constexpr double sighting_every_seconds = 60;

void reset(flight_log& log) {
    log.fixes.clear();
    log.texts.clear();
    log.thermals.clear();
}

// The last sighting of each thermal still published, by serial.
std::vector<thermal_sighting> last_sightings;

double km_between(const track_fix& a, const track_fix& b) {
    double north = (b.lat_deg - a.lat_deg) * km_per_degree;
    double east = (b.lon_deg - a.lon_deg) * km_per_degree * std::cos(a.lat_deg * pi / 180);
    return std::sqrt(north * north + east * east);
}

std::string formatted(const char* format, double a, double b = 0, double c = 0, double d = 0) {
    char text[128];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

}  // namespace

void reset_flight_log() {
    reset(flight);
    last_sightings.clear();
}

void log_fix(const track_fix& f) {
    if (flight.fixes.size() < most_fixes) flight.fixes.push_back(f);
}

void log_text(double seconds, const std::string& text) {
    if (flight.texts.size() < most_fixes) flight.texts.push_back({seconds, text});
}

void log_thermals(double seconds, const std::vector<published_column>& columns) {
    for (const published_column& c : columns) {
        auto last = std::find_if(last_sightings.begin(), last_sightings.end(),
                                 [&c](const thermal_sighting& s) { return s.serial == c.serial; });
        if (last != last_sightings.end() && seconds - last->seconds < sighting_every_seconds) continue;
        thermal_sighting s{seconds, c.serial, c.lat_deg, c.lon_deg, c.radius_m, c.strength_mps};
        if (last != last_sightings.end())
            *last = s;
        else
            last_sightings.push_back(s);
        if (flight.thermals.size() < most_fixes) flight.thermals.push_back(s);
    }
    std::erase_if(last_sightings, [&columns](const thermal_sighting& s) {
        return std::none_of(columns.begin(), columns.end(),
                            [&s](const published_column& c) { return c.serial == s.serial; });
    });
}

std::vector<climb> climbs_of(const flight_log& log) {
    std::vector<climb> found;
    const auto& f = log.fixes;
    for (std::size_t i = 0; i < f.size();) {
        if (!f[i].circling) {
            ++i;
            continue;
        }
        std::size_t end = i;
        double lat = 0, lon = 0;
        while (end < f.size() && f[end].circling) lat += f[end].lat_deg, lon += f[end].lon_deg, ++end;
        double seconds = f[end - 1].seconds - f[i].seconds;
        double gained = f[end - 1].altitude_m - f[i].altitude_m;
        if (seconds >= shortest_climb_seconds && gained >= least_climb_m)
            found.push_back({lat / double(end - i), lon / double(end - i), gained, seconds});
        i = end;
    }
    return found;
}

// ---- IGC -------------------------------------------------------------------

namespace {

// DDMMmmmN or DDDMMmmmE: degrees, minutes with three decimals, hemisphere.
std::string igc_angle(double degrees, int degree_digits, char positive, char negative) {
    char hemisphere = degrees < 0 ? negative : positive;
    long thousandths = std::lround(std::fabs(degrees) * 60000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%0*ld%05ld%c", degree_digits, thousandths / 60000, thousandths % 60000,
                  hemisphere);
    return text;
}

// Five characters: a negative altitude keeps its sign in the first.
std::string igc_altitude(double metres) {
    long m = std::lround(std::fmax(-9999.0, std::fmin(99999.0, metres)));
    char text[32];
    if (m < 0)
        std::snprintf(text, sizeof text, "-%04ld", -m);
    else
        std::snprintf(text, sizeof text, "%05ld", m);
    return text;
}

std::string igc_time(double time_of_day) {
    long t = static_cast<long>(std::floor(std::fabs(time_of_day))) % 86400;
    char text[32];
    std::snprintf(text, sizeof text, "%02ld%02ld%02ld", t / 3600, t / 60 % 60, t % 60);
    return text;
}

}  // namespace

std::string igc_text(const flight_log& log, int year, int month, int day) {
    std::ostringstream out;
    char date[32];
    std::snprintf(date, sizeof date, "%02d%02d%02d", day, month, year % 100);
    out << "AXSK001 Skarvo stand-in simulator\r\n"
        << "HFDTEDATE:" << date << ",01\r\n"
        << "HFPLTPILOTINCHARGE:Skarvo soaring pilot\r\n"
        << "HFGTYGLIDERTYPE:Standard class\r\n"
        << "HFGIDGLIDERID:SKARVO\r\n"
        << "HFDTMGPSDATUM:WGS84\r\n"
        << "HFFTYFRTYPE:Skarvo,stand-in simulator\r\n"
        << "HFTZNTIMEZONE:0\r\n";
    for (const track_fix& f : log.fixes)
        out << 'B' << igc_time(f.time_of_day) << igc_angle(f.lat_deg, 2, 'N', 'S') << igc_angle(f.lon_deg, 3, 'E', 'W')
            << 'A' << igc_altitude(f.altitude_m) << igc_altitude(f.altitude_m) << "\r\n";
    return out.str();
}

// ---- the picture -------------------------------------------------------------

namespace {

constexpr double picture_width = 960;
constexpr double map_height = 600;
constexpr double baro_top = 650, baro_height = 260;
constexpr double margin = 50;
constexpr double strongest_colour_mps = 3.0;

// Sink blue, still air pale, lift red.
std::string colour_of(double vertical_air) {
    double t = std::fmax(-1.0, std::fmin(1.0, vertical_air / strongest_colour_mps));
    int r, g, b;
    if (t < 0) {
        r = static_cast<int>(235 + (30 - 235) * -t), g = static_cast<int>(235 + (90 - 235) * -t), b = 235;
    } else {
        r = 235, g = static_cast<int>(235 + (40 - 235) * t), b = static_cast<int>(235 + (30 - 235) * t);
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", r, g, b);
    return text;
}

// A colour step of the track, so that neighbouring fixes share a line.
int colour_step(double vertical_air) { return static_cast<int>(std::lround(vertical_air * 4)); }

struct map_frame {
    double lat0, lon0, scale;  // pixels per km
    double x0, y0;             // pixel of (lat0, lon0)
    double cos_lat;
    double x(double lon) const { return x0 + (lon - lon0) * km_per_degree * cos_lat * scale; }
    double y(double lat) const { return y0 - (lat - lat0) * km_per_degree * scale; }
};

map_frame frame_of(const flight_log& log) {
    double lat_min = 90, lat_max = -90, lon_min = 180, lon_max = -180;
    for (const auto& f : log.fixes) {
        lat_min = std::min(lat_min, f.lat_deg), lat_max = std::max(lat_max, f.lat_deg);
        lon_min = std::min(lon_min, f.lon_deg), lon_max = std::max(lon_max, f.lon_deg);
    }
    map_frame m{};
    m.lat0 = (lat_min + lat_max) / 2, m.lon0 = (lon_min + lon_max) / 2;
    m.cos_lat = std::cos(m.lat0 * pi / 180);
    double width_km = std::max(0.5, (lon_max - lon_min) * km_per_degree * m.cos_lat);
    double height_km = std::max(0.5, (lat_max - lat_min) * km_per_degree);
    m.scale = std::min((picture_width - 2 * margin - 160) / width_km, (map_height - 2 * margin) / height_km);
    m.x0 = margin + (picture_width - 2 * margin - 160) / 2, m.y0 = map_height / 2;
    return m;
}

void draw_track(std::ostream& out, const flight_log& log, const map_frame& m) {
    const auto& f = log.fixes;
    for (std::size_t i = 1; i < f.size();) {
        int step = colour_step(f[i].vertical_air_mps);
        out << "<polyline fill=\"none\" stroke-width=\"3\" stroke-linecap=\"round\" stroke=\""
            << colour_of(step / 4.0) << "\" points=\"" << m.x(f[i - 1].lon_deg) << ',' << m.y(f[i - 1].lat_deg);
        for (; i < f.size() && colour_step(f[i].vertical_air_mps) == step; ++i)
            out << ' ' << m.x(f[i].lon_deg) << ',' << m.y(f[i].lat_deg);
        out << "\"/>\n";
    }
}

// Each published thermal as a faint circle of its radius where it was
// strongest, darker the stronger, with the drift of its column as a thin line.
void draw_thermals(std::ostream& out, const flight_log& log, const map_frame& m) {
    if (log.thermals.empty()) return;
    out << "<clipPath id=\"map\"><rect width=\"" << picture_width << "\" height=\"" << map_height
        << "\"/></clipPath>\n<g clip-path=\"url(#map)\">\n";
    std::vector<std::uint32_t> drawn;
    for (const thermal_sighting& first : log.thermals) {
        if (std::find(drawn.begin(), drawn.end(), first.serial) != drawn.end()) continue;
        drawn.push_back(first.serial);
        const thermal_sighting* strongest = &first;
        std::string drift;
        for (const thermal_sighting& t : log.thermals) {
            if (t.serial != first.serial) continue;
            if (t.strength_mps > strongest->strength_mps) strongest = &t;
            drift += formatted("%.1f,%.1f ", m.x(t.lon_deg), m.y(t.lat_deg));
        }
        double shade = 0.05 + 0.2 * std::clamp(strongest->strength_mps / 3.0, 0.0, 1.0);
        out << "<circle cx=\"" << m.x(strongest->lon_deg) << "\" cy=\"" << m.y(strongest->lat_deg) << "\" r=\""
            << strongest->radius_m / 1000 * m.scale << "\" fill=\"#3c9a46\" fill-opacity=\""
            << formatted("%.3f", shade) << "\"/>\n<polyline fill=\"none\" stroke=\"#3c9a46\" stroke-opacity=\"0.5\" "
            << "stroke-width=\"1\" points=\"" << drift << "\"/>\n";
    }
    out << "</g>\n";
}

void draw_climbs(std::ostream& out, const flight_log& log, const map_frame& m) {
    for (const climb& c : climbs_of(log)) {
        double x = m.x(c.lon_deg), y = m.y(c.lat_deg);
        out << "<circle cx=\"" << x << "\" cy=\"" << y << "\" r=\"14\" fill=\"none\" stroke=\"#202020\" "
            << "stroke-width=\"1.5\"/>\n<text x=\"" << x + 17 << "\" y=\"" << y + 4
            << "\" font-size=\"12\" fill=\"#202020\">" << formatted("%+.1f m/s, %.0f m", c.rate(), c.gained_m)
            << "</text>\n";
    }
}

void draw_legend_and_scale(std::ostream& out, const flight_log& log, const map_frame& m) {
    double x = picture_width - margin - 110, y = margin + 20;
    if (!log.thermals.empty())
        out << "<circle cx=\"" << x + 11 << "\" cy=\"" << y + 232 << "\" r=\"10\" fill=\"#3c9a46\" "
            << "fill-opacity=\"0.15\"/>\n<text x=\"" << x + 28 << "\" y=\"" << y + 236
            << "\" font-size=\"11\">thermals</text>\n";
    out << "<text x=\"" << x << "\" y=\"" << y - 8 << "\" font-size=\"12\">vertical air written</text>\n";
    for (int i = 0; i <= 12; ++i) {
        double v = strongest_colour_mps - i * 0.5;
        out << "<rect x=\"" << x << "\" y=\"" << y + i * 16 << "\" width=\"22\" height=\"16\" fill=\""
            << colour_of(v) << "\"/>\n";
        if (i % 2 == 0)
            out << "<text x=\"" << x + 28 << "\" y=\"" << y + i * 16 + 12 << "\" font-size=\"11\">"
                << formatted("%+.0f m/s", v) << "</text>\n";
    }
    double nice[] = {0.5, 1, 2, 5, 10, 20, 50, 100};
    double km = nice[0];
    for (double n : nice)
        if (n * m.scale <= 200) km = n;
    double sx = margin, sy = map_height - margin / 2;
    out << "<line x1=\"" << sx << "\" y1=\"" << sy << "\" x2=\"" << sx + km * m.scale << "\" y2=\"" << sy
        << "\" stroke=\"#202020\" stroke-width=\"3\"/>\n<text x=\"" << sx << "\" y=\"" << sy - 6
        << "\" font-size=\"12\">" << formatted("%g km", km) << "</text>\n";
    out << "<text x=\"" << sx << "\" y=\"" << margin << "\" font-size=\"14\" font-weight=\"bold\">N &#8593;</text>\n";
}

void draw_barogram(std::ostream& out, const flight_log& log) {
    const auto& f = log.fixes;
    double top = -1e9, bottom = 1e9;
    for (const auto& x : f) top = std::max(top, x.altitude_m), bottom = std::min(bottom, x.ground_m);
    top += 100, bottom = std::max(0.0, bottom - 100);
    double t0 = f.front().seconds, span = std::max(60.0, f.back().seconds - t0);
    double left = margin + 20, width = picture_width - 2 * margin - 40;
    auto px = [&](double s) { return left + (s - t0) / span * width; };
    auto py = [&](double alt) { return baro_top + baro_height - (alt - bottom) / (top - bottom) * baro_height; };
    auto pv = [&](double v) { return baro_top + baro_height / 2 - std::fmax(-4.0, std::fmin(4.0, v)) / 8.0 * baro_height; };
    out << "<rect x=\"" << left << "\" y=\"" << baro_top << "\" width=\"" << width << "\" height=\"" << baro_height
        << "\" fill=\"#f8f8f4\" stroke=\"#909090\"/>\n";
    out << "<polygon fill=\"#c8b89a\" points=\"" << px(f.front().seconds) << ',' << py(bottom);
    for (const auto& x : f) out << ' ' << px(x.seconds) << ',' << py(x.ground_m);
    out << ' ' << px(f.back().seconds) << ',' << py(bottom) << "\"/>\n";
    out << "<line x1=\"" << left << "\" y1=\"" << pv(0) << "\" x2=\"" << left + width << "\" y2=\"" << pv(0)
        << "\" stroke=\"#e0a0a0\" stroke-dasharray=\"4 4\"/>\n";
    out << "<polyline fill=\"none\" stroke=\"#d04020\" stroke-width=\"1\" points=\"";
    for (const auto& x : f) out << px(x.seconds) << ',' << pv(x.vertical_air_mps) << ' ';
    out << "\"/>\n<polyline fill=\"none\" stroke=\"#202020\" stroke-width=\"2\" points=\"";
    for (const auto& x : f) out << px(x.seconds) << ',' << py(x.altitude_m) << ' ';
    out << "\"/>\n";
    double step = top - bottom > 2000 ? 500 : 200;
    for (double alt = std::ceil(bottom / step) * step; alt <= top; alt += step)
        out << "<text x=\"" << left - 4 << "\" y=\"" << py(alt) + 4 << "\" font-size=\"11\" text-anchor=\"end\">"
            << formatted("%.0f", alt) << "</text>\n";
    for (double s = 0; s <= span; s += 300)
        out << "<text x=\"" << px(t0 + s) << "\" y=\"" << baro_top + baro_height + 16
            << "\" font-size=\"11\" text-anchor=\"middle\">" << formatted("%.0f min", s / 60) << "</text>\n";
    out << "<text x=\"" << left << "\" y=\"" << baro_top - 8 << "\" font-size=\"13\">altitude and ground, m "
        << "(black, brown); vertical air written, m/s (red, dashed line 0, scale +-4)</text>\n";
}

}  // namespace

std::string svg_text(const flight_log& log) {
    std::ostringstream out;
    double height = baro_top + baro_height + 40;
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << picture_width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << picture_width << ' ' << height << "\" font-family=\"sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    out.precision(1);
    out << std::fixed;
    if (log.fixes.size() >= 2) {
        map_frame m = frame_of(log);
        draw_thermals(out, log, m);
        draw_track(out, log, m);
        draw_climbs(out, log, m);
        const track_fix& start = log.fixes.front();
        out << "<circle cx=\"" << m.x(start.lon_deg) << "\" cy=\"" << m.y(start.lat_deg)
            << "\" r=\"5\" fill=\"#208020\"/>\n<text x=\"" << m.x(start.lon_deg) + 8 << "\" y=\""
            << m.y(start.lat_deg) - 8 << "\" font-size=\"12\">start</text>\n";
        draw_legend_and_scale(out, log, m);
        draw_barogram(out, log);
    }
    out << "</svg>\n";
    return out.str();
}

void print_summary(const flight_log& log, std::FILE* out) {
    if (log.fixes.size() < 2) {
        std::fprintf(out, "No flight was logged.\n");
        return;
    }
    const auto& f = log.fixes;
    double km = 0, highest = f.front().altitude_m;
    for (std::size_t i = 1; i < f.size(); ++i) km += km_between(f[i - 1], f[i]), highest = std::max(highest, f[i].altitude_m);
    std::vector<climb> climbs = climbs_of(log);
    double gained = 0, climbing = 0;
    for (const climb& c : climbs) gained += c.gained_m, climbing += c.seconds;
    double minutes = (f.back().seconds - f.front().seconds) / 60;
    std::fprintf(out, "Flight time:        %.0f min\n", minutes);
    std::fprintf(out, "Distance flown:     %.1f km\n", km);
    std::fprintf(out, "Height gained:      %.0f m in %zu climbs, mean %.1f m/s\n", gained, climbs.size(),
                 climbing > 0 ? gained / climbing : 0.0);
    std::fprintf(out, "Time climbing:      %.0f min\n", climbing / 60);
    std::fprintf(out, "Highest altitude:   %.0f m\n", highest);
    std::fprintf(out, "Texts of the program:\n");
    for (const shown_text& t : log.texts) std::fprintf(out, "  %6.0f s  %s\n", t.seconds, t.text.c_str());
}

namespace {

bool write_file(const char* path, const std::string& text) {
    std::FILE* file = std::fopen(path, "wb");
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (file) ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "cannot write %s\n", path);
    return ok;
}

}  // namespace

bool leave_flight_behind(const flight_log& log, const char* igc_path, const char* map_path, int year, int month,
                         int day, bool summary, std::FILE* out) {
    bool ok = true;
    if (igc_path) ok = write_file(igc_path, igc_text(log, year, month, day)) && ok;
    if (map_path) ok = write_file(map_path, svg_text(log)) && ok;
    if (summary) {
        std::fprintf(out, "\nThe flight:\n");
        print_summary(log, out);
        std::fflush(out);
    }
    return ok;
}

}  // namespace sim
