// The FSUIPC IPC client. The shared area holds the batch: read requests
// (id 1, offset, n, destination, n data bytes), write requests (id 2, offset,
// n, n bytes) and a zero word. The destination field is 32 bits wide while
// our addresses are wider, so it carries a token: the index + 1 of the
// destination in a table of this batch, 0 for no destination.
#include "simlink/link.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <iterator>

std::int32_t link_result = 0;
std::uint32_t fsuipc_version = 0;
std::uint32_t simulator_version = 0;

namespace {

constexpr std::uint32_t read_id = 1;
constexpr std::uint32_t write_id = 2;
constexpr std::uint32_t read_header = 16;
constexpr std::uint32_t write_header = 12;
constexpr std::uint32_t terminator_bytes = 4;
constexpr std::uint32_t max_reads = (link_usable_bytes - terminator_bytes) / read_header + 1;

struct client_state {
    platform_handle window;
    std::uint32_t message;
    std::uint16_t atom;
    platform_handle mapping;
    unsigned char* view;        // start of the shared area
    std::uint32_t cursor;       // where the next request goes, from the view
    bool second_class;          // window found under "FS98MAIN"
    bool server_gone;           // the server's window has gone: no batch can reach it again
};
client_state client{};
std::uint32_t open_counter = 0;  // never reset: each open names a new area

struct destination {
    void* address;
    std::uint32_t bytes;  // as queued; the answer may not claim more
};
destination destinations[max_reads];
std::uint32_t destination_count = 0;

const char* const result_texts[] = {
    "Okay",
    "Attempt to Open when already Open",
    "Cannot link to FSUIPC.\n\nMake sure FS is running, and try again.",
    "Failed to Register common message with Windows",
    "Failed to create Atom for mapping filename",
    "Failed to create a file mapping object",
    "Failed to open a view to the file map",
    "Incorrect version of FSUIPC, or not FSUIPC",
    "Sim is not version requested",
    "Call cannot execute, link not Open",
    "Call cannot execute: no requests accumulated",
    "IPC timed out all retries",
    "IPC sendmessage failed all retries",
    "IPC request contains bad data",
    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
    "Read or Write request cannot be added, memory for Process is full",
};

void put_word(std::uint32_t at, std::uint32_t value) { std::memcpy(client.view + at, &value, 4); }

std::uint32_t get_word(std::uint32_t at) {
    std::uint32_t value;
    std::memcpy(&value, client.view + at, 4);
    return value;
}

bool fail(std::int32_t* result, std::int32_t code) {
    *result = code;
    return false;
}

bool room_for(std::uint32_t header, std::uint32_t n) {
    std::uint64_t needed = std::uint64_t(client.cursor) + terminator_bytes + header + n;
    return needed <= link_usable_bytes;
}

void start_new_batch() {
    client.cursor = 0;
    destination_count = 0;
}

std::uint32_t token_for(void* address, std::uint32_t n) {
    if (!address) return 0;
    destinations[destination_count] = {address, n};
    return ++destination_count;
}

// Sends the batch, retrying failed sends; true with the server's answer.
bool send_batch(std::int32_t* answer) {
    for (int attempt = 0; attempt < send_attempts; ++attempt) {
        if (send_message(client.window, client.message, client.atom, 0, send_timeout_ms, answer)) return true;
        sleep_ms(100);
    }
    return false;
}

// Copies read results back. The server may have left anything in the area:
// the walk stays inside it and writes no more than was queued to any
// destination.
void distribute_results() {
    std::uint32_t at = 0;
    while (at + 4 <= link_area_bytes) {
        std::uint32_t id = get_word(at);
        if (id == 0) return;
        std::uint32_t header = id == read_id ? read_header : id == write_id ? write_header : 0;
        if (header == 0) {
            put_word(at, 0);
            return;
        }
        if (at + header > link_area_bytes) return;
        std::uint32_t n = get_word(at + 8);
        if (std::uint64_t(at) + header + n > link_area_bytes) return;
        if (id == read_id) {
            std::uint32_t token = get_word(at + 12);
            if (token != 0 && n != 0 && token <= destination_count && destinations[token - 1].bytes == n)
                std::memcpy(destinations[token - 1].address, client.view + at + header, n);
        }
        at += header + n;
    }
}

bool find_server_window() {
    client.window = find_window("UIPCMAIN");
    if (!client.window) {
        client.window = find_window("FS98MAIN");
        client.second_class = client.window != 0;
    }
    return client.window != 0;
}

bool create_shared_area(std::int32_t* result) {
    char name[64];
    ++open_counter;
    std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X", process_id(), open_counter);
    client.atom = add_atom(name);
    if (client.atom == 0) return fail(result, link_atom_failed);
    client.mapping = create_mapping(name, link_area_bytes);
    if (client.mapping == 0 || last_error() == error_already_exists) return fail(result, link_mapping_failed);
    client.view = static_cast<unsigned char*>(map_view(client.mapping));
    if (!client.view) return fail(result, link_view_failed);
    start_new_batch();
    return true;
}

bool exchange_versions(std::int32_t* result) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (fsuipc_version != 0 && simulator_version != 0) break;
        bool queued = link_read(0x3304, 4, &fsuipc_version, result) &&
                      link_read(0x3308, 4, &simulator_version, result);
        if (queued && attempt == 0) queued = link_write(0x330A, 2, &client_version_id, result);
        if (!queued || !link_process(result)) return false;
        sleep_ms(100);
    }
    return true;
}

bool versions_acceptable() {
    return fsuipc_version >= lowest_fsuipc_version && (simulator_version >> 16) == 0xFADE;
}

}  // namespace

const char* link_result_text(std::int32_t code) {
    if (code < 0 || code >= static_cast<std::int32_t>(std::size(result_texts))) return "Unknown error";
    return result_texts[code];
}

bool link_open(std::uint32_t requested_sim_version, std::int32_t* result) {
    if (client.view) return fail(result, link_already_open);
    fsuipc_version = 0;
    simulator_version = 0;
    client.second_class = false;
    if (!find_server_window()) return fail(result, link_no_server);
    client.message = register_message("FsasmLib:IPC");
    if (client.message == 0) {
        link_close();
        return fail(result, link_register_failed);
    }
    if (!create_shared_area(result) || !exchange_versions(result)) {
        link_close();
        return false;
    }
    if (!versions_acceptable()) {
        bool second_class = client.second_class;
        link_close();
        return fail(result, second_class ? link_wideclient : link_wrong_version);
    }
    simulator_version &= 0xFFFF;
    if (requested_sim_version != 0 && requested_sim_version != simulator_version) {
        link_close();
        return fail(result, link_wrong_sim);
    }
    *result = link_ok;
    return true;
}

// The shared area goes before the window: a server that sees the window's
// connection end with the area gone knows the program closed its link.
void link_close() {
    if (client.view) unmap_view(client.view);
    client.view = nullptr;
    if (client.mapping) close_mapping(client.mapping);
    client.mapping = 0;
    if (client.window) forget_window(client.window);
    client.window = 0;
    client.message = 0;
    if (client.atom) delete_atom(client.atom);
    client.atom = 0;
    client.server_gone = false;
    start_new_batch();
}

bool link_read(std::uint32_t offset, std::uint32_t n, void* destination, std::int32_t* result) {
    if (!client.view) return fail(result, link_not_open);
    if (!room_for(read_header, n)) return fail(result, link_area_full);
    unsigned char* at = client.view + client.cursor;
    put_word(client.cursor, read_id);
    put_word(client.cursor + 4, offset);
    put_word(client.cursor + 8, n);
    put_word(client.cursor + 12, token_for(destination, n));
    std::memset(at + read_header, 0, n);
    client.cursor += read_header + n;
    *result = link_ok;
    return true;
}

bool link_write(std::uint32_t offset, std::uint32_t n, const void* source, std::int32_t* result) {
    if (!client.view) return fail(result, link_not_open);
    if (!room_for(write_header, n)) return fail(result, link_area_full);
    put_word(client.cursor, write_id);
    put_word(client.cursor + 4, offset);
    put_word(client.cursor + 8, n);
    if (n) std::memcpy(client.view + client.cursor + write_header, source, n);
    client.cursor += write_header + n;
    *result = link_ok;
    return true;
}

bool link_process(std::int32_t* result) {
    if (!client.view) return fail(result, link_not_open);
    if (client.cursor == 0) return fail(result, link_nothing_queued);
    put_word(client.cursor, 0);
    client.cursor = 0;
    // A server whose window has gone is not waited for again: the batches
    // after it fail at once, so that a session whose simulator has gone ends
    // within one batch's retries. A batch that only timed out (a simulator
    // busy loading scenery) is lost, and the next one is tried afresh.
    if (client.server_gone) {
        destination_count = 0;
        return fail(result, link_send_failed);
    }
    std::int32_t answer = 0;
    bool sent = send_batch(&answer);
    if (!sent) {
        destination_count = 0;
        std::uint32_t error = last_error();
        client.server_gone = error == error_invalid_window_handle;
        return fail(result, error != 0 ? link_send_failed : link_timed_out);
    }
    if (answer != 1) {
        destination_count = 0;
        return fail(result, link_bad_data);
    }
    distribute_results();
    start_new_batch();
    *result = link_ok;
    return true;
}

std::uint32_t link_queued_bytes() { return client.cursor; }

bool link_sending_only_read(std::uint32_t offset, std::uint32_t n) {
    return client.view && get_word(0) == read_id && get_word(4) == offset && get_word(8) == n &&
           get_word(read_header + n) == 0;
}

bool link_sending_read_first(std::uint32_t offset) {
    return client.view && get_word(0) == read_id && get_word(4) == offset;
}

bool link_server_gone() { return client.view && client.server_gone; }

std::uint32_t link_open_count() { return open_counter; }
