// The Linux stand-in for the Windows link primitives, as both sides see it:
// where server windows live, how a message name becomes an identifier, and
// the frames exchanged on a window's socket. Shared by the program's Linux
// platform layer and the stand-in simulator's Linux front-end.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace posix_ipc {

constexpr std::uint32_t request_magic = 0x514D5346;  // "FSMQ"
constexpr std::uint32_t reply_magic = 0x52535346;    // "FSSR"
constexpr std::size_t request_header_bytes = 22;
constexpr std::size_t reply_bytes = 12;
constexpr std::size_t max_atom_name = 255;

// Identifier of a registered window message: 0xC000 + (FNV-1a of the
// upper-cased name) % 0x4000. Never 0.
inline std::uint32_t message_id(const char* name) {
    std::uint32_t h = 2166136261u;
    for (const char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
        h ^= c;
        h *= 16777619u;
    }
    return 0xC000u + h % 0x4000u;
}

inline void put_u32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void put_u16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline std::uint32_t get_u32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::uint16_t get_u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

struct request_frame {
    std::uint32_t sequence;
    std::uint32_t msg;
    std::uint32_t wparam;
    std::uint32_t lparam;
    std::uint16_t name_length;
    char name[max_atom_name + 1];
};

// Lays a request frame into `out` (room for 22 + 255 bytes); returns its size.
inline std::size_t encode_request(const request_frame& f, unsigned char* out) {
    put_u32(out, request_magic);
    put_u32(out + 4, f.sequence);
    put_u32(out + 8, f.msg);
    put_u32(out + 12, f.wparam);
    put_u32(out + 16, f.lparam);
    put_u16(out + 20, f.name_length);
    std::memcpy(out + 22, f.name, f.name_length);
    return request_header_bytes + f.name_length;
}

inline void encode_reply(std::uint32_t sequence, std::int32_t result, unsigned char* out) {
    put_u32(out, reply_magic);
    put_u32(out + 4, sequence);
    put_u32(out + 8, static_cast<std::uint32_t>(result));
}

}  // namespace posix_ipc
