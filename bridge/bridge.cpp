#include "bridge.h"

#include "clouds.h"
#include "ground_ahead.h"
#include "mapping.h"
#include "server.h"
#include "terrain_probe.h"
#include "world.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace bridge {

int answer_patience_ms = 10000;
bool blue_day = false;

namespace {

using clock_type = std::chrono::steady_clock;

std::vector<property_set> outbox;
long snapshots = 0;
constexpr std::size_t most_waiting = 1000;
constexpr const char* text_property = "/sim/messages/copilot";

// In slew mode every position the program writes is a point whose ground
// it is about to read (the terrain scan): its batches wait until the
// height is FlightGear's for that point, answered at once where a block
// fetched ahead has brought it.
std::uint64_t points_written = 0, points_answered = 0;
// Where FlightGear has no scenery it shows sea at 0 m; its probe answers
// "none" there, and where the scenery is still loading. The scan waits for
// it, up to 30 s from the first point found without it; from then on a
// point without scenery is sea level at once, until a point has its
// ground again.
constexpr auto scenery_patience = std::chrono::seconds(30);
bool scenery_missing = false, told_sea_level = false;
clock_type::time_point scenery_missing_since;

bool scenery_waited_for_long_enough(double lat, double lon) {
    auto now = clock_type::now();
    if (!scenery_missing) {
        scenery_missing = true;
        scenery_missing_since = now;
    }
    bool long_enough = now - scenery_missing_since >= scenery_patience;
    if (long_enough && !told_sea_level)
        std::printf("skarvo-fg: no scenery at %.6f %.6f for %lld s: ground without scenery is taken as sea level\n", lat,
                    lon, static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(scenery_patience).count()));
    told_sea_level = long_enough;
    return long_enough;
}

void answer_point(std::uint64_t point, double metres, bool scenery) {
    if (scenery) scenery_missing = false;
    sim::world.ground_m = ground_metres(metres);
    points_answered = point;
    sim::world.answers_held = points_answered != points_written;
}
// A block's answer is about a byte a point; the add-on works out a point in
// about 0.02 ms (FlightGear 2020.3).
constexpr std::size_t points_per_block = 1500, longitudes_per_block = 1500;
bool blocks_answered = true;  // false with an add-on that has no block probe

struct ground_counts {
    long blocks = 0, block_points = 0, single_probes = 0, points_waited = 0;
    double block_seconds = 0;
};
ground_counts counted;

void hold_answers_for_the_ground(std::uint32_t offset, std::uint32_t n) {
    if (!sim::world.slew) {
        points_answered = points_written;
    } else if (moves_aircraft(offset, n)) {
        ++points_written;
        double metres = 0;
        if (!completes_a_position(offset, n)) {
            // held: the point is whole once its fraction comes
        } else if (ground_fetched_for(sim::world.latitude_deg, sim::world.longitude_deg, &metres)) {
            answer_point(points_written, metres, true);
        } else {
            ++counted.points_waited;
        }
    }
    sim::world.answers_held = points_answered != points_written;
}

// The blocks go on connections of their own, opened at the first; where
// none opens, on the snapshots' own.
std::vector<std::unique_ptr<props_client>> ground_links;

std::vector<props_client*> links_for_the_ground(props_client& fg) {
    if (ground_links.empty())
        for (std::size_t k = 0; k < most_blocks_at_once; ++k) {
            auto link = std::make_unique<props_client>();
            if (!link->connect_to(fg.host(), fg.port(), 5000)) break;
            ground_links.push_back(std::move(link));
        }
    std::vector<props_client*> links;
    for (auto& link : ground_links) links.push_back(link.get());
    if (links.empty()) links.push_back(&fg);
    return links;
}

bool fetch_ground_ahead(props_client& fg) {
    std::vector<ground_block> blocks;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (!sim::world.slew || !blocks_answered) return true;
        for (ground_block b; blocks.size() < most_blocks_at_once &&
                             (b = next_ground_block(points_per_block, longitudes_per_block)).size() > 0;)
            blocks.push_back(std::move(b));
    }
    if (blocks.empty()) return true;
    std::vector<props_client*> links = links_for_the_ground(fg);
    blocks.resize(std::min(blocks.size(), links.size()));  // the rest is asked for again next time
    std::vector<std::vector<double>> metres;
    auto asked_at = clock_type::now();
    probe_outcome found = probe_blocks(links, blocks, &metres);
    counted.block_seconds += std::chrono::duration<double>(clock_type::now() - asked_at).count();
    switch (found) {
    case probe_outcome::failed: return false;
    case probe_outcome::no_probe:
        std::printf("skarvo-fg: the add-on has no block probe: the ground is asked for point by point\n");
        blocks_answered = false;
        return true;
    default: break;
    }
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        store_ground_block(blocks[k], metres[k]);
        ++counted.blocks;
        counted.block_points += static_cast<long>(blocks[k].size());
    }
    double held_metres = 0;
    if (points_answered != points_written &&
        ground_fetched_for(sim::world.latitude_deg, sim::world.longitude_deg, &held_metres))
        answer_point(points_written, held_metres, true);
    return true;
}

// A point a block has not brought: the next block brings it; one a block
// found without scenery is asked for again in blocks; one off the scan's
// grid is probed alone.
bool answer_the_ground(props_client& fg) {
    std::uint64_t point = 0;
    double lat = 0, lon = 0;
    bool lacking = false;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (points_answered == points_written) return true;
        point = points_written;
        lat = sim::world.latitude_deg;
        lon = sim::world.longitude_deg;
        if (blocks_answered && ground_coming_for(lat, lon)) return true;
        if (blocks_answered && ground_lacks_scenery_at(lat, lon)) {
            if (scenery_waited_for_long_enough(lat, lon)) {
                answer_point(point, 0, false);
                return true;
            }
            ask_again_where_scenery_was_missing();
            lacking = true;
        }
    }
    // FlightGear loads scenery around its aircraft: it is moved to the point
    // that waits for it, while the blocks ask for it again.
    if (lacking)
        return fg.set("/position/latitude-deg", formatted(lat)) && fg.set("/position/longitude-deg", formatted(lon));
    double metres = 0;
    ++counted.single_probes;
    probe_outcome found = probe_point(fg, lat, lon, &metres);
    switch (found) {
    case probe_outcome::height: break;
    case probe_outcome::no_scenery: {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (!scenery_waited_for_long_enough(lat, lon)) return true;  // still loading: ask again
        break;
    }
    case probe_outcome::no_probe:
        std::fprintf(stderr, "skarvo-fg: FlightGear's terrain probe does not answer; start FlightGear with "
                             "Skarvo's add-on (--addon=bridge/flightgear-addon)\n");
        return false;
    case probe_outcome::failed: return false;
    }
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    if (found == probe_outcome::height) ask_again_where_scenery_was_missing();
    answer_point(point, metres, found == probe_outcome::height);
    return true;
}

// FlightGear answers once a frame, and drawing in software it now and then
// takes one frame of many seconds (loading scenery, say) while its
// connection stays open: the snapshot's answers are waited for, the
// program meanwhile answered from the last snapshot.
constexpr int stall_patience_ms = 300000;

// A scan needs none of FlightGear's drawing, and FlightGear drawing in
// software takes seconds a frame over Oahu (minutes while it loads the
// scenery the scan moves to), and its property server answers once a
// frame: while the aircraft is in slew mode the terrain, models and clouds
// are not drawn, and the frames come as fast as FlightGear makes them.
// FlightGear loads the scenery within the lesser of its visibility and its
// bare terrain's range of the aircraft: during a scan both reach over the
// scan's rows from the middle, where the aircraft is held. All as they
// were when slew mode ends or the bridge does.
constexpr const char* visibility_override_property = "/environment/config/presets/visibility-m-override";
constexpr const char* visibility_preset_property = "/environment/config/presets/visibility-m";
constexpr const char* bare_range_property = "/sim/rendering/static-lod/bare";
struct scan_setting {
    const char* path;
    const char* during;  // nullptr: the scenery's range, once the rows' width is known
};
constexpr scan_setting scan_settings[] = {
    {"/sim/rendering/draw-mask/terrain", "false"},
    {"/sim/rendering/draw-mask/models", "false"},
    {"/sim/rendering/draw-mask/clouds", "false"},
    {"/sim/frame-rate-throttle-hz", "0"},
    {visibility_override_property, nullptr},
    {visibility_preset_property, nullptr},
    {bare_range_property, nullptr},
};
constexpr const char* visibility_property = "/environment/visibility-m";
// Beyond the rows' half width: the rows asked for ahead, and the tile the
// middle lies in. At most this far: past it the scan waits for scenery.
constexpr double scenery_margin_m = 5000, widest_scenery_m = 100000;
bool scanning_settings = false;
std::vector<std::string> own_settings;  // scan_settings' values before the scan
double scenery_range_m = 0;

// The range FlightGear loaded its scenery within before the scan.
double own_scenery_range_m(double visibility_m) {
    double bare_m = 0;
    for (std::size_t k = 0; k < std::size(scan_settings) && k < own_settings.size(); ++k)
        if (scan_settings[k].path == bare_range_property)
            bare_m = std::strtod(own_settings[k].c_str(), nullptr);
    return bare_m > 0 ? std::min(visibility_m, bare_m) : visibility_m;
}

bool widen_the_scenery(props_client& fg) {
    double lat = 0, lon = 0, half_row_m = 0;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (!scan_viewpoint(&lat, &lon, &half_row_m)) return true;
    }
    double wanted = std::min(half_row_m + scenery_margin_m, widest_scenery_m);
    if (wanted <= scenery_range_m) return true;
    scenery_range_m = wanted;
    std::string metres = std::to_string(static_cast<long>(wanted));
    return fg.set(visibility_override_property, "true") && fg.set(visibility_preset_property, metres) &&
           fg.set(bare_range_property, metres);
}

bool settle_for_a_scan(props_client& fg) {
    bool slew = false;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        slew = sim::world.slew;
    }
    if (!slew) return restore_after_a_scan(fg);
    if (scanning_settings) return widen_the_scenery(fg);
    std::vector<std::string> paths;
    for (const scan_setting& s : scan_settings) paths.push_back(s.path);
    paths.push_back(visibility_property);
    if (!fg.get(paths, &own_settings, stall_patience_ms)) return false;  // a scan's first frames load scenery
    double visibility_m = std::strtod(own_settings.back().c_str(), nullptr);
    own_settings.pop_back();
    scanning_settings = true;
    scenery_range_m = own_scenery_range_m(visibility_m);
    for (const scan_setting& s : scan_settings)
        if (s.during && !fg.set(s.path, s.during)) return false;
    return widen_the_scenery(fg);
}

bool waited_out_a_stall(props_client& fg, std::vector<std::string>* values) {
    if (!fg.connected()) return false;
    std::printf("skarvo-fg: FlightGear has not answered for %d s; waiting for it\n", answer_patience_ms / 1000);
    std::fflush(stdout);
    auto since = clock_type::now();
    if (!fg.get_rest(snapshot_paths().size(), values, stall_patience_ms)) return false;
    std::printf("skarvo-fg: FlightGear answers again after %.0f s more\n",
                std::chrono::duration<double>(clock_type::now() - since).count());
    std::fflush(stdout);
    return true;
}

}  // namespace

bool restore_after_a_scan(props_client& fg) {
    if (!scanning_settings) return true;
    scanning_settings = false;
    for (std::size_t k = 0; k < std::size(scan_settings) && k < own_settings.size(); ++k)
        if (!own_settings[k].empty() && !fg.set(scan_settings[k].path, own_settings[k])) return false;
    return true;
}

void release_answers() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    points_answered = points_written;
    sim::world.answers_held = false;
}

void queue_client_write(std::uint32_t offset, std::uint32_t n) {
    hold_answers_for_the_ground(offset, n);
    std::vector<property_set> sets = sets_for_write(offset, n, sim::world);
    double view_lat = 0, view_lon = 0;
    if (sim::world.slew && scan_viewpoint(&view_lat, &view_lon, nullptr))
        for (auto& s : sets) {  // the scan's ground comes from the probe: FlightGear loads scenery ahead
            if (s.path == "/position/latitude-deg") s.value = formatted(view_lat);
            if (s.path == "/position/longitude-deg") s.value = formatted(view_lon);
        }
    for (auto& s : sets) {
        bool replaced = false;
        if (s.path != text_property)
            for (auto& waiting : outbox)
                if (waiting.path == s.path) {
                    waiting.value = s.value;
                    replaced = true;
                }
        if (!replaced && outbox.size() < most_waiting) outbox.push_back(std::move(s));
    }
}

bool exchange(props_client& fg) {
    std::vector<std::string> values;
    if (!fg.get(snapshot_paths(), &values, answer_patience_ms) && !waited_out_a_stall(fg, &values)) {
        // Answers that come late would be taken for the next ones: start afresh.
        return fg.connected() && fg.reconnect(5000);
    }
    std::vector<property_set> sets;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        snapshots += take_snapshot(values, sim::world, &sets) ? 1 : 0;
        sets.insert(sets.begin(), outbox.begin(), outbox.end());
        bool attached = sim::client_count() > 0;
        auto status = status_sets(attached, sim::world);
        sets.insert(sets.end(), status.begin(), status.end());
        auto clouds = cloud_sets(attached, blue_day);
        sets.insert(sets.end(), clouds.begin(), clouds.end());
        outbox.clear();
    }
    for (const auto& s : sets)
        if (!fg.set(s.path, s.value)) return false;
    return settle_for_a_scan(fg) && fetch_ground_ahead(fg) && answer_the_ground(fg);
}

void forget_the_scans_ground() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    forget_ground();
    ground_links.clear();
    blocks_answered = true;
    scanning_settings = false;
    counted = ground_counts{};
}

void report_the_scans_ground() {
    if (counted.blocks == 0 && counted.single_probes == 0) return;
    std::printf("skarvo-fg: the scan's ground: %ld blocks of FlightGear's heights (%ld points) in %.1f s, %ld points "
                "waited for, %ld asked for alone\n",
                counted.blocks, counted.block_points, counted.block_seconds, counted.points_waited,
                counted.single_probes);
}

long snapshots_taken() { return snapshots; }

std::size_t writes_waiting() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return outbox.size();
}

}  // namespace bridge
