#include "batch.h"

#include "world.h"

#include <cstring>

namespace sim {

void (*answer_hook)(std::uint32_t offset, std::uint32_t n, unsigned char* data) = nullptr;
void (*request_hook)(std::uint32_t id, std::uint32_t offset, std::uint32_t n, const unsigned char* data) = nullptr;

namespace {

std::uint32_t word_at(const unsigned char* area, std::size_t at) {
    std::uint32_t value;
    std::memcpy(&value, area + at, 4);
    return value;
}

}  // namespace

std::int32_t serve_batch(unsigned char* area, std::size_t size) {
    publish_state();
    std::size_t at = 0;
    for (;;) {
        if (size < 4 || at > size - 4) return 0;
        std::uint32_t id = word_at(area, at);
        if (id == 0) {
            if (request_hook) request_hook(0, 0, 0, nullptr);
            return 1;
        }
        std::size_t header = id == 1 ? 16 : id == 2 ? 12 : 0;
        if (header == 0 || at + header > size) return 0;
        std::uint32_t offset = word_at(area, at + 4);
        std::uint32_t n = word_at(area, at + 8);
        if (n > size - at - header) return 0;
        unsigned char* data = area + at + header;
        if (request_hook) request_hook(id, offset, n, data);
        if (id == 1) {
            read_offsets(offset, n, data);
            if (answer_hook) answer_hook(offset, n, data);
        } else
            write_offsets(offset, n, data);
        at += header + n;
    }
}

}  // namespace sim
