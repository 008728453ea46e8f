// The thermals published for companion programs: off, the program's batches
// are exactly those it sent before the extension existed; on, the block
// holds the thermals the program flies.
#include "program_folder.h"

#include "batch.h"
#include "config/settings.h"
#include "driver/hot_keys.h"
#include "driver/main_loop.h"
#include "driver/session.h"
#include "simlink/thermal_publication.h"
#include "thermals/lift.h"
#include "thermals/publication.h"
#include "simlink/link.h"
#include "thermals/random.h"
#include "thermals/thermal_state.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

// Every request of every batch, folded into one number (FNV-1a): reads by
// their offset and size, writes with their data (a text up to its end: the
// bytes after it are whatever the process's text buffer held before).
std::uint64_t batch_digest;
std::uint64_t batch_count;
std::uint64_t publication_writes;

void fold(const void* bytes, std::size_t n) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < n; ++i) batch_digest = (batch_digest ^ p[i]) * 1099511628211ull;
}

void keep_request(std::uint32_t id, std::uint32_t offset, std::uint32_t n, const unsigned char* data) {
    if (id == 0) ++batch_count;
    if (id == 2 && offset == publication_offset) ++publication_writes;
    std::uint32_t header[3] = {id, offset, n};
    fold(header, sizeof header);
    if (id == 2) fold(data, offset == 0x3380 ? strnlen(reinterpret_cast<const char*>(data), n) : n);
}

std::string shipped_settings() {
    std::ifstream in(SKARVO_INI_PATH, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The shipped settings with the extension's line as given (empty: none).
std::string settings_with(const std::string& publish_line) {
    std::string text = shipped_settings();
    std::size_t at = text.find("Publish thermals");
    if (at != std::string::npos) text.erase(at);
    return text + publish_line;
}

class publication_test : public program_folder_test {
protected:
    void TearDown() override {
        sim::request_hook = nullptr;
        program_folder_test::TearDown();
    }

    // A quarter of an hour across the Inn valley in a west wind, then the
    // quit gesture; every batch is kept.
    void fly_with(const std::string& settings) {
        std::ofstream("skv.ini", std::ios::binary) << settings;
        seed_random(29);  // before the settings: their random ranges draw
        batch_digest = 1469598103934665603ull;
        batch_count = 0;
        publication_writes = 0;
        sim::request_hook = keep_request;
        load_scenario("time 13:00:00\nposition 47.25 11.30\naltitude 1800\nclock lock-step 0.5\nwind 270 12\n"
                      "clouds 2400 9\nmotion 25 90\nat 900 key backspace\nat 901 key f12\n");
        start_server();
        thermal_strength = 3.0f;
        read_settings();
        initialise_session();
        main_loop();
        shut_down();
        ASSERT_EQ(quit_confirmed, 1);
    }

    signed char scratch[3] = {};

    thermal_publication published() {
        thermal_publication block{};
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        sim::read_offsets(publication_offset, publication_bytes, reinterpret_cast<unsigned char*>(&block));
        return block;
    }
};

// What the program sent before the extension: the digest of this flight's
// batches from the program as it was then (Linux; the lift written is the
// system's arithmetic, and Windows's cosine may round otherwise).
constexpr std::uint64_t batches_before_the_extension = 2712825705410927338ull;
constexpr std::uint64_t batch_count_before_the_extension = 1841;

class publication_off_test : public publication_test, public ::testing::WithParamInterface<const char*> {};

TEST_P(publication_off_test, the_batches_are_those_of_the_program_without_the_extension) {
#if defined(_WIN32)
    GTEST_SKIP() << "the digest was taken on Linux";
#endif
    fly_with(settings_with(GetParam()));
    EXPECT_EQ(batch_count, batch_count_before_the_extension);
    EXPECT_EQ(batch_digest, batches_before_the_extension);
    EXPECT_EQ(published().publications, 0u);
}

INSTANTIATE_TEST_SUITE_P(publication, publication_off_test,
                         ::testing::Values("", "Publish thermals for companion programs (0/1): 0\n"),
                         [](const ::testing::TestParamInfo<const char*>& p) {
                             return p.param[0] == 0 ? "line_absent" : "line_at_0";
                         });

// On, the same flight sends the same number of batches (the block rides in
// batches sent anyway), publishes once per 10-second tick and whenever a
// slot takes a new thermal, and the block holds the thermals the program
// flies: the active ones, then the house thermals, each with its own serial.
TEST_F(publication_test, on_the_block_holds_the_thermals_flown_in_batches_sent_anyway) {
    fly_with(settings_with("Publish thermals for companion programs (0/1): 1\n"));
#if !defined(_WIN32)
    EXPECT_EQ(batch_count, batch_count_before_the_extension);
#endif
    thermal_publication block = published();
    EXPECT_EQ(block.publications, publication_writes);
    EXPECT_GE(block.publications, 70u);  // a tick a little over every 10 s
    EXPECT_LE(block.publications, 90u + block.record[4].serial);
    std::uint32_t serials_seen = 0;
    for (int i = 0; i < published_records; ++i) {
        const published_thermal& r = block.record[i];
        SCOPED_TRACE(i);
        bool house = i >= published_active_records;
        int slot = house ? i - published_active_records : i;
        if (house && slot >= house_count) {
            EXPECT_EQ(r.serial, 0u);
            continue;
        }
        EXPECT_NE(r.serial, 0u);
        EXPECT_EQ(serials_seen & (1u << (r.serial % 32)), 0u);
        serials_seen |= 1u << (r.serial % 32);
        EXPECT_EQ(r.top_m, house ? house_thermals[slot].top : active_thermals[slot].top);
        EXPECT_EQ(r.radius_miles, house ? house_thermals[slot].radius : active_thermals[slot].radius);
        EXPECT_GE(r.strength_mps, 0.0f);
        double lat = house ? house_thermals[slot].lat_here : active_thermals[slot].lat_here;
        EXPECT_LT(std::fabs(r.lat_rad - lat) * 3956, 3.0);  // the lean between the aircraft and the top
    }
}

// A slot that takes a new thermal is published at once with a new serial;
// the other slots keep theirs; a thermal whose life is over shows no
// strength.
TEST_F(publication_test, a_new_thermal_is_published_at_once_and_an_ended_one_without_strength) {
    publish_thermals = 1;
    open_link("time 13:00:00\nposition 47.25 11.30\naltitude 1800\n");
    for (int i = 0; i < active_slots; ++i) {
        active_thermal& t = active_thermals[i];
        t = active_thermal{};
        t.strength = 2.0f, t.radius = 0.5f, t.top = 2500, t.ref_altitude = 2357;
        t.lat_ref = t.lat_here = 0.8246 + i * 0.0001;
        t.lon_ref = t.lon_here = 0.1972;
        t.birth_time = 13 * 3600 - 600, t.lifetime = 1200;
    }
    auto publish = [this](std::uint32_t now) {
        queue_thermal_publication(now);
        link_read(0x0238, 3, &scratch, &link_result);
        link_process(&link_result);
        return published();
    };
    thermal_publication first = publish(13 * 3600);
    EXPECT_FLOAT_EQ(first.record[2].strength_mps, 2.0f);
    active_thermals[2].birth_time = 13 * 3600;
    thermal_publication second = publish(13 * 3600 + 1);
    EXPECT_EQ(second.publications, first.publications + 1);
    EXPECT_NE(second.record[2].serial, first.record[2].serial);
    for (int i : {0, 1, 3, 4}) EXPECT_EQ(second.record[i].serial, first.record[i].serial);
    EXPECT_EQ(publish(13 * 3600 + 2).publications, second.publications);  // no tick, no change
    publication_due();
    thermal_publication ended = publish(13 * 3600 + 601);
    EXPECT_EQ(ended.record[0].strength_mps, 0.0f);
    EXPECT_GT(ended.record[2].strength_mps, 0.0f);
}

}  // namespace
