// Both walks over a shared area, fed many malformed areas: the server's walk
// of a batch and the client's walk of the answer must stay inside the area
// and inside every destination, whatever the other side left there. Areas
// and destinations are heap blocks of their exact size, so AddressSanitizer
// sees any step past them.
#include "batch.h"
#include "platform/platform.h"
#include "simlink/link.h"
#include "world.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

// 32-bit draws, repeatable for a seed.
struct generator {
    explicit generator(std::uint32_t seed) : engine(seed) {}
    std::uint32_t operator()() { return static_cast<std::uint32_t>(engine()); }
    std::mt19937 engine;
};

void put_word(bytes& area, std::size_t at, std::uint32_t value) {
    if (at + 4 <= area.size()) std::memcpy(area.data() + at, &value, 4);
}

// A word that is often a boundary value for a length, offset or identifier.
std::uint32_t nasty_word(generator& random) {
    static const std::uint32_t specials[] = {0, 1, 2, 3, 4, 12, 16, 0x7F00, 0x8000, 0xFFFF, 0x10000,
                                             0x7FFFFFFF, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
    if (random() % 3 == 0) return random();
    return specials[random() % std::size(specials)];
}

// A batch with plausible requests, then damage.
bytes malformed_batch(generator& random) {
    bytes area(random() % 400);
    std::size_t at = 0;
    while (at + 16 < area.size() && random() % 5 != 0) {
        bool read = random() % 2 == 0;
        std::uint32_t n = random() % 24;
        put_word(area, at, read ? 1 : 2);
        put_word(area, at + 4, random() % 2 ? 0xFFF0 + random() % 16 : random() % 0x10000);
        put_word(area, at + 8, n);
        at += (read ? 16 : 12) + n;
    }
    put_word(area, at, 0);
    for (int damage = static_cast<int>(random() % 4); damage > 0 && !area.empty(); --damage)
        put_word(area, random() % area.size(), nasty_word(random));
    return area;
}

TEST(server_walk, malformed_batches_never_leave_the_area) {
    generator random(20041);
    sim::reset_world();
    for (int i = 0; i < 200000; ++i) {
        bytes batch = malformed_batch(random);
        auto area = std::make_unique<unsigned char[]>(batch.size() + 1);  // +1: new[0] must still be a block
        if (!batch.empty()) std::memcpy(area.get(), batch.data(), batch.size());
        std::int32_t answer = sim::serve_batch(area.get(), batch.size());
        ASSERT_TRUE(answer == 0 || answer == 1);
    }
}

TEST(server_walk, a_good_batch_is_answered_1_and_the_edge_of_the_offset_space_reads_zero) {
    sim::reset_world();
    bytes area(64, 0);
    put_word(area, 0, 2);  // write 8 bytes at 0xFFFC: half of them land
    put_word(area, 4, 0xFFFC);
    put_word(area, 8, 8);
    std::memset(area.data() + 12, 0xAB, 8);
    put_word(area, 20, 1);  // read them back
    put_word(area, 24, 0xFFFC);
    put_word(area, 28, 8);
    EXPECT_EQ(sim::serve_batch(area.data(), area.size()), 1);
    const unsigned char expected[8] = {0xAB, 0xAB, 0xAB, 0xAB, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(area.data() + 36, expected, 8), 0);

    put_word(area, 28, 64);  // now the read's data runs past the area
    EXPECT_EQ(sim::serve_batch(area.data(), area.size()), 0);
    put_word(area, 20, 7);   // an unknown identifier
    EXPECT_EQ(sim::serve_batch(area.data(), area.size()), 0);
}

TEST(server_walk, a_batch_without_terminator_is_refused) {
    sim::reset_world();
    bytes area(16, 0);
    put_word(area, 0, 1);
    put_word(area, 4, 0x0238);
    put_word(area, 8, 0);
    EXPECT_EQ(sim::serve_batch(area.data(), area.size()), 0);
}

// ---- the client's walk ---------------------------------------------------

unsigned char* area = nullptr;  // the client's shared area, a heap block of its size
generator server_random(1998);

platform_handle fake_window(const char*) { return 1; }
void fake_forget(platform_handle) {}
platform_handle fake_mapping(const char*, std::uint32_t) {
    set_last_error(0);
    return 1;
}
void* fake_view(platform_handle) {
    area = new unsigned char[link_area_bytes];
    std::memset(area, 0, link_area_bytes);
    return area;
}
void fake_unmap(void* view) {
    delete[] static_cast<unsigned char*>(view);
    area = nullptr;
}
void fake_close(platform_handle) {}
void no_sleep(std::uint32_t) {}

bool handshake_send(platform_handle, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t* r) {
    sim::reset_world();
    *r = sim::serve_batch(area, link_area_bytes);
    return true;
}

// Serves the batch, then scribbles over the area as a broken server might.
bool scribbling_send(platform_handle, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t* r) {
    sim::serve_batch(area, link_area_bytes);
    *r = 1;
    int damage = static_cast<int>(server_random() % 6);
    for (int i = 0; i < damage; ++i) {
        std::size_t at = server_random() % 2 ? server_random() % 256 : server_random() % (link_area_bytes - 3);
        std::uint32_t word = nasty_word(server_random);
        std::memcpy(area + at, &word, 4);
    }
    if (server_random() % 50 == 0) std::memset(area, 0xFF, link_area_bytes);  // no terminator anywhere
    return true;
}

TEST(client_walk, a_scribbling_server_never_makes_the_client_write_out_of_bounds) {
    platform_calls.find_window = fake_window;
    platform_calls.forget_window = fake_forget;
    platform_calls.create_mapping = fake_mapping;
    platform_calls.map_view = fake_view;
    platform_calls.unmap_view = fake_unmap;
    platform_calls.close_mapping = fake_close;
    platform_calls.sleep_ms = no_sleep;
    platform_calls.send_message = handshake_send;
    std::int32_t result = 0;
    ASSERT_TRUE(link_open(0, &result));

    platform_calls.send_message = scribbling_send;
    generator random(7);
    for (int batch = 0; batch < 20000; ++batch) {
        std::vector<std::unique_ptr<unsigned char[]>> destinations;
        int requests = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < requests; ++i) {
            std::uint32_t n = random() % 20;
            std::uint32_t offset = random() % 0x10000;
            destinations.push_back(std::make_unique<unsigned char[]>(n));
            if (random() % 3 == 0)
                link_write(offset, n, destinations.back().get(), &result);
            else
                link_read(offset, n, random() % 8 ? destinations.back().get() : nullptr, &result);
        }
        link_process(&result);
    }
    link_close();
    platform_restore_calls();
}

}  // namespace
