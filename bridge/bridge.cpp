#include "bridge.h"

#include "clouds.h"
#include "ground_ahead.h"
#include "mapping.h"
#include "server.h"
#include "terrain_probe.h"
#include "world.h"

#include <chrono>
#include <cstdio>
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
clock_type::time_point point_written_at;
// Where FlightGear has no scenery it shows sea at 0 m; the probe keeps
// answering "none" there.
constexpr auto scenery_patience = std::chrono::seconds(30);
// Measured here: FlightGear's property server answers a value of up to
// about 16 KB (1,500 heights); its add-on works out about 7,000 heights a
// second (undrawn, FlightGear 2020.3).
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
        point_written_at = clock_type::now();
        double metres = 0;
        if (completes_a_position(offset, n) &&
            ground_fetched_for(sim::world.latitude_deg, sim::world.longitude_deg, &metres)) {
            sim::world.ground_m = ground_metres(metres);
            points_answered = points_written;
        } else if (completes_a_position(offset, n)) {
            ++counted.points_waited;
        }
    }
    sim::world.answers_held = points_answered != points_written;
}

// A block a round trip, a few of them between two snapshots.
constexpr int blocks_per_exchange = 2;

bool fetch_ground_ahead(props_client& fg) {
    for (int k = 0; k < blocks_per_exchange; ++k) {
        ground_block block;
        {
            std::lock_guard<std::mutex> lock(sim::world_mutex);
            if (!sim::world.slew || !blocks_answered) return true;
            block = next_ground_block(points_per_block, longitudes_per_block);
        }
        if (block.size() == 0) return true;
        std::vector<double> metres;
        auto asked_at = clock_type::now();
        probe_outcome found = probe_block(fg, block, &metres);
        counted.block_seconds += std::chrono::duration<double>(clock_type::now() - asked_at).count();
        ++counted.blocks;
        counted.block_points += static_cast<long>(block.size());
        switch (found) {
        case probe_outcome::failed: return false;
        case probe_outcome::no_probe:
            std::printf("skarvo-fg: the add-on has no block probe: the ground is asked for point by point\n");
            blocks_answered = false;
            return true;
        default: break;
        }
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        store_ground_block(block, metres);
        double held_metres = 0;
        if (points_answered != points_written &&
            ground_fetched_for(sim::world.latitude_deg, sim::world.longitude_deg, &held_metres)) {
            sim::world.ground_m = ground_metres(held_metres);
            points_answered = points_written;
            sim::world.answers_held = false;
        }
    }
    return true;
}

bool answer_the_ground(props_client& fg) {
    std::uint64_t point = 0;
    double lat = 0, lon = 0;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        if (points_answered == points_written) return true;
        point = points_written;
        lat = sim::world.latitude_deg;
        lon = sim::world.longitude_deg;
        if (blocks_answered && ground_coming_for(lat, lon)) return true;  // the next block brings it
    }
    double metres = 0;
    ++counted.single_probes;
    probe_outcome found = probe_point(fg, lat, lon, &metres);
    switch (found) {
    case probe_outcome::height: break;
    case probe_outcome::no_scenery:
        if (clock_type::now() - point_written_at < scenery_patience) return true;  // still loading: ask again
        std::printf("skarvo-fg: no scenery at %.6f %.6f: its ground is taken as sea level\n", lat, lon);
        break;
    case probe_outcome::no_probe:
        std::fprintf(stderr, "skarvo-fg: FlightGear's terrain probe does not answer; start FlightGear with "
                             "Skarvo's add-on (--addon=bridge/flightgear-addon)\n");
        return false;
    case probe_outcome::failed: return false;
    }
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    if (found == probe_outcome::height) scenery_came_at(lat, lon);
    sim::world.ground_m = ground_metres(metres);
    points_answered = point;
    sim::world.answers_held = points_answered != points_written;
    return true;
}

// FlightGear answers once a frame, and drawing in software it now and then
// takes one frame of many seconds (loading scenery, say) while its
// connection stays open: the snapshot's answers are waited for, the
// program meanwhile answered from the last snapshot.
constexpr int stall_patience_ms = 300000;

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

void release_answers() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    points_answered = points_written;
    sim::world.answers_held = false;
}

void queue_client_write(std::uint32_t offset, std::uint32_t n) {
    hold_answers_for_the_ground(offset, n);
    for (auto& s : sets_for_write(offset, n, sim::world)) {
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
    return fetch_ground_ahead(fg) && answer_the_ground(fg);
}

void forget_the_scans_ground() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    forget_ground();
    blocks_answered = true;
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
