#include "terrain_probe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace bridge {

namespace {

// Drawing in software FlightGear now and then takes one frame of up to a
// minute (loading scenery): an answer is waited for that long and more,
// on an open connection.
constexpr int answer_timeout_ms = 300000;
// Measured here: FlightGear's property server answers a value of up to
// about 16 KB (2,025 heights); beyond, an empty line.
constexpr int most_points_per_answer = 1500;
long requests = 0;

std::string exact(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

bool ask(props_client& fg, const std::vector<std::pair<std::string, std::string>>& sets, const char* request_path,
         const char* answer_path, long request, std::string* answer) {
    for (const auto& [path, value] : sets)
        if (!fg.set(path, value)) return false;
    if (!fg.set(request_path, std::to_string(request))) return false;
    std::vector<std::string> values;
    if (!fg.get({answer_path}, &values, answer_timeout_ms)) return false;
    *answer = values[0];
    return true;
}

// FlightGear's property server takes a line of up to 8 KB: a list goes in
// pieces, every piece set (empty ones too) so that none is left over from
// a longer list before.
constexpr std::size_t most_list_bytes = 8000, list_pieces = 4;

std::vector<std::string> listed(const std::vector<float>& degrees) {
    std::vector<std::string> pieces(1);
    for (float d : degrees) {
        std::string value = exact(d);
        if (pieces.back().size() + value.size() + 1 > most_list_bytes) pieces.emplace_back();
        if (!pieces.back().empty()) pieces.back() += ' ';
        pieces.back() += value;
    }
    pieces.resize(std::max(pieces.size(), list_pieces));
    return pieces;
}

bool set_list(props_client& fg, const std::string& path, const std::vector<float>& degrees) {
    std::vector<std::string> pieces = listed(degrees);
    if (pieces.size() > list_pieces) return false;
    for (std::size_t n = 0; n < pieces.size(); ++n)
        if (!fg.set(path + "[" + std::to_string(n) + "]", pieces[n])) return false;
    return true;
}

}  // namespace

bool parse_probe_answer(const std::string& answer, long request, std::size_t count, std::vector<double>* metres) {
    std::istringstream in(answer);
    long answered = -1;
    if (!(in >> answered) || answered != request) return false;
    metres->clear();
    for (std::string word; in >> word;) {
        char* end = nullptr;
        double h = std::strtod(word.c_str(), &end);
        bool number = end != word.c_str() && *end == '\0' && std::isfinite(h);
        if (!number && word != "none") return false;
        metres->push_back(number ? h : std::numeric_limits<double>::quiet_NaN());
    }
    return metres->size() == count;
}

probe_outcome probe_point(props_client& fg, double lat_deg, double lon_deg, double* metres) {
    long request = ++requests;
    std::string answer;
    if (!ask(fg, {{"/skarvo/probe/latitude-deg", exact(lat_deg)}, {"/skarvo/probe/longitude-deg", exact(lon_deg)}},
             "/skarvo/probe/point-request", "/skarvo/probe/point-answer", request, &answer))
        return probe_outcome::failed;
    std::vector<double> heights;
    if (!parse_probe_answer(answer, request, 1, &heights)) return probe_outcome::no_probe;
    if (std::isnan(heights[0])) return probe_outcome::no_scenery;
    *metres = heights[0];
    return probe_outcome::height;
}

bool probe_grid(props_client& fg, const grid_area& area, std::vector<double>* metres) {
    if (area.rows <= 0 || area.columns <= 0) return false;
    metres->clear();
    int rows_per_answer = std::max(1, most_points_per_answer / area.columns);
    for (int first = 0; first < area.rows; first += rows_per_answer) {
        int rows = std::min(rows_per_answer, area.rows - first);
        long request = ++requests;
        std::string answer;
        std::vector<double> block;
        if (!ask(fg,
                 {{"/skarvo/probe/south-deg", exact(area.south_deg + first * area.step_deg)},
                  {"/skarvo/probe/west-deg", exact(area.west_deg)},
                  {"/skarvo/probe/step-deg", exact(area.step_deg)},
                  {"/skarvo/probe/rows", std::to_string(rows)},
                  {"/skarvo/probe/columns", std::to_string(area.columns)}},
                 "/skarvo/probe/grid-request", "/skarvo/probe/grid-answer", request, &answer) ||
            !parse_probe_answer(answer, request, static_cast<std::size_t>(rows) * static_cast<std::size_t>(area.columns),
                                &block))
            return false;
        metres->insert(metres->end(), block.begin(), block.end());
    }
    return true;
}

bool parse_block_answer(const std::string& answer, long request, std::size_t count, std::vector<double>* metres) {
    static const std::string digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::size_t space = answer.find(' ');
    if (space == std::string::npos || answer.compare(0, space, std::to_string(request)) != 0) return false;
    metres->clear();
    bool known = false;
    long last = 0;
    for (std::size_t at = space + 1; at < answer.size(); ++at) {
        char c = answer[at];
        if (c == '.') {
            metres->push_back(std::numeric_limits<double>::quiet_NaN());
            known = false;
            continue;
        }
        if (c == '(') {
            std::size_t end = answer.find(')', at);
            if (end == std::string::npos || end - at > 7) return false;
            char* stop = nullptr;
            std::string number = answer.substr(at + 1, end - at - 1);
            last = std::strtol(number.c_str(), &stop, 10);
            if (number.empty() || *stop != '\0' || last < -32768 || last > 32767) return false;
            at = end;
        } else {
            std::size_t change = digits.find(c);
            if (!known || change == std::string::npos) return false;
            last += static_cast<long>(change) - 31;
        }
        known = true;
        metres->push_back(static_cast<double>(last));
    }
    return metres->size() == count;
}

probe_outcome probe_blocks(const std::vector<props_client*>& links, const std::vector<ground_block>& blocks,
                           std::vector<std::vector<double>>* metres) {
    std::size_t n = std::min({blocks.size(), links.size(), most_blocks_at_once});
    std::vector<long> numbers;
    for (std::size_t k = 0; k < n; ++k) {
        std::string at = "/skarvo/probe/block[" + std::to_string(k) + "]/";
        numbers.push_back(++requests);
        if (!set_list(*links[k], at + "latitudes", blocks[k].latitudes) ||
            !set_list(*links[k], at + "longitudes", blocks[k].longitudes) ||
            !links[k]->set(at + "request", std::to_string(numbers.back())) || !links[k]->ask({at + "answer"}))
            return probe_outcome::failed;
    }
    metres->assign(n, {});
    bool all_parsed = true;
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<std::string> answer;
        if (!links[k]->get_rest(1, &answer, answer_timeout_ms)) return probe_outcome::failed;
        all_parsed = all_parsed && parse_block_answer(answer[0], numbers[k], blocks[k].size(), &(*metres)[k]);
    }
    return all_parsed ? probe_outcome::height : probe_outcome::no_probe;
}

}  // namespace bridge
