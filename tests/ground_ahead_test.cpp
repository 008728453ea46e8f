// The ground fetched ahead of the terrain scan: the scan's own points, in
// its own order, answered from blocks asked for while it goes; every
// answer the height of that very point.
#include "ground_ahead.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>

namespace {

// Different at every single-precision point: a height that came for
// another point shows.
double ground_of(float lat, float lon) { return std::fmod(lat * 1e5, 977.0) + std::fmod(-lon * 1e5, 89.0) / 100; }

struct scan_run {
    int misses = 0, wrong = 0, blocks = 0;
    std::size_t points_asked = 0, largest_block = 0, most_longitudes = 0;
    std::set<std::pair<float, float>> asked;
    int asked_twice = 0;
};

// FlightGear answers up to `blocks_per_answer` blocks whenever the scan
// finds a point without its height (and every `answer_every` points).
void fetch(scan_run* run, std::size_t blocks_per_answer) {
    for (std::size_t k = 0; k < blocks_per_answer; ++k) {
        bridge::ground_block b = bridge::next_ground_block(1500, 800);
        if (b.size() == 0) return;
        ++run->blocks;
        run->points_asked += b.size();
        run->largest_block = std::max(run->largest_block, b.size());
        run->most_longitudes = std::max(run->most_longitudes, b.longitudes.size());
        std::vector<double> metres;
        for (float lat : b.latitudes)
            for (float lon : b.longitudes) {
                metres.push_back(ground_of(lat, lon));
                run->asked_twice += run->asked.insert({lat, lon}).second ? 0 : 1;
            }
        bridge::store_ground_block(b, metres);
    }
}

// The scan's visits: the latitude written first (the aircraft then stands
// at the row's latitude and the last longitude), then each longitude.
scan_run scan(float south, float west, int rows, int columns, int answer_every) {
    bridge::forget_ground();
    scan_run run;
    auto visit = [&](float lat, float lon, int n) {
        double metres = 0;
        if (!bridge::ground_fetched_for(lat, lon, &metres)) {
            ++run.misses;
            fetch(&run, 2);
            if (!bridge::ground_fetched_for(lat, lon, &metres)) return;
        }
        run.wrong += metres == ground_of(lat, lon) ? 0 : 1;
        if (n % answer_every == 0) fetch(&run, 2);
    };
    float lon = -158.1234567f;  // where the aircraft stood before the scan, off the grid
    int n = 0;
    visit(south, lon, n);
    for (int i = 0; i < rows; ++i) {
        float lat = south + static_cast<float>(i) / 1200.0f;
        visit(lat, lon, ++n);
        for (int j = 0; j < columns; ++j) {
            int column = i % 2 == 0 ? j : columns - 1 - j;
            lon = west + static_cast<float>(column) / 1200.0f;
            visit(lat, lon, ++n);
        }
    }
    return run;
}

TEST(ground_ahead, a_scan_is_answered_from_blocks_each_point_its_own_height) {
    struct area {
        int rows, columns;
    } areas[] = {{5, 5}, {3, 1}, {40, 60}, {12, 1001}};  // tiny, one column, blocks of whole rows, rows wider than a block
    for (auto [rows, columns] : areas) {
        scan_run run = scan(21.5641667f, -158.2508333f, rows, columns, 500);
        std::size_t points = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
        SCOPED_TRACE(std::to_string(rows) + " x " + std::to_string(columns));
        EXPECT_EQ(run.wrong, 0);
        EXPECT_EQ(run.asked_twice, 0);
        EXPECT_LE(run.largest_block, 1500u);
        EXPECT_LE(run.most_longitudes, 800u);
        // The point before the scan and its first point start grids of
        // their own; then the blocks keep ahead of the scan. Asked in vain:
        // the first rows past their ends, the rows after the last.
        EXPECT_LE(run.misses, 3);
        EXPECT_LE(run.points_asked, points + 2 * 900 + 6000);
    }
}

// FlightGear slower than the scan: the scan waits at points not fetched
// yet, each block a whole answer.
TEST(ground_ahead, blocks_are_full_when_flightgear_lags_behind) {
    scan_run run = scan(21.5641667f, -158.2508333f, 60, 250, 1 << 30);
    EXPECT_EQ(run.wrong, 0);
    EXPECT_LE(run.blocks, 60 * 250 / 1500 + 10);
    EXPECT_LE(run.misses, 60 * 250 / (2 * 1500) + 4);
}

TEST(ground_ahead, a_point_without_scenery_is_asked_for_again_once_the_scenery_came) {
    bridge::forget_ground();
    const float south = 21.5f, west = -158.25f, east = west + 3 / 1200.0f;
    double metres = 0;
    EXPECT_FALSE(bridge::ground_fetched_for(south, west, &metres));
    bridge::ground_block b = bridge::next_ground_block(1500, 800);
    ASSERT_GT(b.size(), 4u);
    bridge::store_ground_block(b, std::vector<double>(b.size(), NAN));
    EXPECT_FALSE(bridge::ground_fetched_for(south, east, &metres));
    EXPECT_FALSE(bridge::ground_coming_for(south, east));
    EXPECT_TRUE(bridge::ground_lacks_scenery_at(south, east));
    bridge::ask_again_where_scenery_was_missing();
    EXPECT_TRUE(bridge::ground_coming_for(south, east));
    b = bridge::next_ground_block(1500, 800);
    bridge::store_ground_block(b, std::vector<double>(b.size(), 12.5));
    ASSERT_TRUE(bridge::ground_fetched_for(south, east, &metres));
    EXPECT_EQ(metres, 12.5);
}

}  // namespace
