// The link to the simulator's FSUIPC module: batched reads and writes laid
// into a shared area, handed over with one window message per batch.
//
// Callers queue any number of link_read / link_write requests, then one
// link_process sends the batch and copies every read result into its
// destination. Every operation returns true on success and stores a result
// code (0..15, texts in link_result_text) through its result pointer; the
// program always passes &link_result.
#pragma once

#include <cstdint>

constexpr std::uint32_t link_area_bytes = 0x8000;
constexpr std::uint32_t link_usable_bytes = 0x7F00;  // the last 256 bytes are never used
constexpr std::uint16_t client_version_id = 1004;
constexpr std::uint32_t lowest_fsuipc_version = 0x19980005;
constexpr std::uint32_t send_timeout_ms = 2000;
constexpr int send_attempts = 9;

enum link_code : std::int32_t {
    link_ok = 0,
    link_already_open = 1,
    link_no_server = 2,
    link_register_failed = 3,
    link_atom_failed = 4,
    link_mapping_failed = 5,
    link_view_failed = 6,
    link_wrong_version = 7,
    link_wrong_sim = 8,
    link_not_open = 9,
    link_nothing_queued = 10,
    link_timed_out = 11,
    link_send_failed = 12,
    link_bad_data = 13,
    link_wideclient = 14,
    link_area_full = 15,
};

extern std::int32_t link_result;           // result of the program's last link call
extern std::uint32_t fsuipc_version;       // from the handshake
extern std::uint32_t simulator_version;    // lower 16 bits after the handshake

// The user-facing text of a result code; "Unknown error" outside 0..15.
const char* link_result_text(std::int32_t code);

bool link_open(std::uint32_t requested_sim_version, std::int32_t* result);
void link_close();
bool link_read(std::uint32_t offset, std::uint32_t n, void* destination, std::int32_t* result);
bool link_write(std::uint32_t offset, std::uint32_t n, const void* source, std::int32_t* result);
bool link_process(std::int32_t* result);

// How many opens have got as far as naming their area; the next area is
// named "FsasmLib:IPC:<process id>:<count + 1>" (hexadecimal).
std::uint32_t link_open_count();

// Bytes queued in the current batch (for tests and the capacity rule).
std::uint32_t link_queued_bytes();

// True once a send has found the server's window gone: no batch reaches it
// again until the link is closed. A batch that only timed out (result 12
// too, with the window still there) leaves it false.
bool link_server_gone();

// True when the batch being sent is exactly one read of `n` bytes at
// `offset` (for tests that stall one kind of exchange).
bool link_sending_only_read(std::uint32_t offset, std::uint32_t n);

// True when the batch being sent begins with a read at `offset`.
bool link_sending_read_first(std::uint32_t offset);
