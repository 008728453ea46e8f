// The platform layer on Linux. A server window of class C is a Unix socket at
// IPC_DIR/C.sock; a window message is one request frame and one reply frame
// on it; atoms are a table of this process; file mappings are POSIX shared
// memory objects. Message boxes go to standard error.
#include "platform/platform.h"
#include "platform/posix_ipc.h"
#include "platform/posix_ipc_dir.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

thread_local std::uint32_t last_error_value = 0;

void set_error(std::uint32_t error) { last_error_value = error; }

// ---- server windows -------------------------------------------------------

// A folder that another user could listen in is not used: the link finds
// no window there, and the user is told why, once for each fault.
bool link_folder_fit() {
    static std::string told;
    std::string dir = posix_ipc::directory();
    if (!posix_ipc::directory_exists(dir)) return true;  // no simulator has made it: no window either
    std::string fault = posix_ipc::directory_fault(dir);
    if (fault.empty()) return true;
    std::string text = "The link folder " + dir + " " + fault + ". It is not used.";
    if (text != told) platform_calls.message_box(text.c_str(), "Skarvo: link folder refused");
    told = text;
    return false;
}

platform_handle linux_find_window(const char* class_name) {
    if (!link_folder_fit()) return 0;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = posix_ipc::socket_path(class_name);
    if (path.size() >= sizeof(address.sun_path)) return 0;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return 0;
    }
    set_error(0);
    return fd + 1;
}

// Bytes of a reply frame that arrived before its wait ran out; kept per
// connection so that a late reply is still read whole and dropped.
struct partial_reply {
    int fd = -1;
    unsigned char bytes[posix_ipc::reply_bytes] = {};
    std::size_t have = 0;
    int receive_limit_ms = 0;  // the socket's receive time-out as last set
};
partial_reply partial_replies[32];

partial_reply* partial_for(int fd) {
    partial_reply* free_entry = nullptr;
    for (auto& p : partial_replies) {
        if (p.fd == fd) return &p;
        if (p.fd < 0 && !free_entry) free_entry = &p;
    }
    if (!free_entry) return nullptr;
    *free_entry = partial_reply{};
    free_entry->fd = fd;
    return free_entry;
}

void linux_forget_window(platform_handle window) {
    if (window <= 0) return;
    int fd = static_cast<int>(window - 1);
    for (auto& p : partial_replies)
        if (p.fd == fd) p = partial_reply{};
    close(fd);
}

// ---- atoms ----------------------------------------------------------------

struct atom_entry {
    char name[posix_ipc::max_atom_name + 1];
    int references;
};
constexpr std::uint16_t first_atom = 0xC000;
atom_entry atoms[64];

const char* atom_name(std::uint32_t atom) {
    if (atom < first_atom || atom >= first_atom + std::size(atoms)) return nullptr;
    const atom_entry& a = atoms[atom - first_atom];
    return a.references > 0 ? a.name : nullptr;
}

std::uint16_t linux_add_atom(const char* name) {
    std::size_t length = std::strlen(name);
    if (length == 0 || length > posix_ipc::max_atom_name) {
        set_error(87);
        return 0;
    }
    atom_entry* free_entry = nullptr;
    for (auto& a : atoms) {
        if (a.references > 0 && std::strcmp(a.name, name) == 0) {
            ++a.references;
            return static_cast<std::uint16_t>(first_atom + (&a - atoms));
        }
        if (a.references == 0 && !free_entry) free_entry = &a;
    }
    if (!free_entry) {
        set_error(8);
        return 0;
    }
    std::memcpy(free_entry->name, name, length + 1);
    free_entry->references = 1;
    set_error(0);
    return static_cast<std::uint16_t>(first_atom + (free_entry - atoms));
}

void linux_delete_atom(std::uint16_t atom) {
    if (atom_name(atom)) --atoms[atom - first_atom].references;
}

// ---- file mappings --------------------------------------------------------

struct mapping_entry {
    int fd = -1;
    std::uint32_t size = 0;
    bool created = false;
    char name[posix_ipc::max_atom_name + 2] = {};
};
mapping_entry mappings[16];

struct view_entry {
    void* address = nullptr;
    std::size_t size = 0;
};
view_entry views[16];

mapping_entry* mapping_of(platform_handle handle) {
    if (handle < 1 || handle > static_cast<platform_handle>(std::size(mappings))) return nullptr;
    mapping_entry* m = &mappings[handle - 1];
    return m->fd >= 0 ? m : nullptr;
}

platform_handle linux_create_mapping(const char* name, std::uint32_t size) {
    mapping_entry* entry = nullptr;
    for (auto& m : mappings)
        if (m.fd < 0) { entry = &m; break; }
    std::size_t length = std::strlen(name);
    if (!entry || length == 0 || length > posix_ipc::max_atom_name) {
        set_error(8);
        return 0;
    }
    entry->name[0] = '/';
    std::memcpy(entry->name + 1, name, length + 1);
    int fd = shm_open(entry->name, O_RDWR | O_CREAT | O_EXCL, 0600);
    bool created = fd >= 0;
    if (!created && errno == EEXIST) fd = shm_open(entry->name, O_RDWR, 0600);
    if (fd < 0) {
        set_error(5);
        return 0;
    }
    if (created && ftruncate(fd, size) != 0) {
        close(fd);
        shm_unlink(entry->name);
        set_error(8);
        return 0;
    }
    entry->fd = fd;
    entry->size = size;
    entry->created = created;
    set_error(created ? 0 : error_already_exists);
    return (entry - mappings) + 1;
}

void* linux_map_view(platform_handle handle) {
    mapping_entry* m = mapping_of(handle);
    view_entry* slot = nullptr;
    for (auto& v : views)
        if (!v.address) { slot = &v; break; }
    if (!m || !slot) {
        set_error(6);
        return nullptr;
    }
    void* address = mmap(nullptr, m->size, PROT_READ | PROT_WRITE, MAP_SHARED, m->fd, 0);
    if (address == MAP_FAILED) {
        set_error(8);
        return nullptr;
    }
    *slot = {address, m->size};
    set_error(0);
    return address;
}

void linux_unmap_view(void* view) {
    for (auto& v : views)
        if (v.address && v.address == view) {
            munmap(v.address, v.size);
            v = view_entry{};
        }
}

void linux_close_mapping(platform_handle handle) {
    mapping_entry* m = mapping_of(handle);
    if (!m) return;
    close(m->fd);
    if (m->created) shm_unlink(m->name);
    *m = mapping_entry{};
}

// ---- messages -------------------------------------------------------------

using steady = std::chrono::steady_clock;

int milliseconds_left(steady::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until the socket is ready for `events`; 1 ready, 0 time-out, -1 gone.
int wait_for(int fd, short events, steady::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        int n = poll(&p, 1, milliseconds_left(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return 0;
        if (p.revents & events) return 1;
        return -1;
    }
}

// 1 sent, 0 time-out, -1 gone.
int send_all(int fd, const unsigned char* bytes, std::size_t size, steady::time_point deadline) {
    while (size > 0) {
        ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int ready = wait_for(fd, POLLOUT, deadline);
            if (ready <= 0) return ready;
            continue;
        }
        return -1;
    }
    return 1;
}

// Sets how long a blocking receive may wait. Set again only when it changes
// by more than a few milliseconds: one system call less per exchange.
bool set_receive_limit(partial_reply* p, int milliseconds) {
    if (milliseconds <= 0) return false;
    int change = p->receive_limit_ms - milliseconds;
    if (p->receive_limit_ms > 0 && change >= -5 && change <= 5) return true;
    timeval limit{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    if (setsockopt(p->fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0) return false;
    p->receive_limit_ms = milliseconds;
    return true;
}

// Reads replies until the one with `sequence` arrives; stale ones are
// dropped. 1 with *result set, 0 time-out, -1 gone or garbled.
int receive_reply(partial_reply* partial, std::uint32_t sequence, steady::time_point deadline, std::int32_t* result) {
    for (;;) {
        while (partial->have < posix_ipc::reply_bytes) {
            if (!set_receive_limit(partial, milliseconds_left(deadline))) return 0;
            ssize_t n = recv(partial->fd, partial->bytes + partial->have, posix_ipc::reply_bytes - partial->have, 0);
            if (n == 0) return -1;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
            if (n < 0) return -1;
            partial->have += static_cast<std::size_t>(n);
        }
        partial->have = 0;
        if (posix_ipc::get_u32(partial->bytes) != posix_ipc::reply_magic) return -1;
        if (posix_ipc::get_u32(partial->bytes + 4) != sequence) continue;
        *result = static_cast<std::int32_t>(posix_ipc::get_u32(partial->bytes + 8));
        return 1;
    }
}

std::uint32_t next_sequence = 1;

bool linux_send_message(platform_handle window, std::uint32_t msg, std::uint32_t wparam, std::uint32_t lparam,
                        std::uint32_t timeout_ms, std::int32_t* result) {
    int fd = static_cast<int>(window - 1);
    partial_reply* partial = window > 0 ? partial_for(fd) : nullptr;
    if (!partial) {
        set_error(error_invalid_window_handle);
        return false;
    }
    posix_ipc::request_frame frame{next_sequence++, msg, wparam, lparam, 0, {}};
    if (const char* name = atom_name(wparam)) {
        frame.name_length = static_cast<std::uint16_t>(std::strlen(name));
        std::memcpy(frame.name, name, frame.name_length);
    }
    unsigned char bytes[posix_ipc::request_header_bytes + posix_ipc::max_atom_name];
    std::size_t size = posix_ipc::encode_request(frame, bytes);
    auto deadline = steady::now() + std::chrono::milliseconds(timeout_ms);
    int outcome = send_all(fd, bytes, size, deadline);
    std::int32_t answer = 0;
    if (outcome > 0) outcome = receive_reply(partial, frame.sequence, deadline, &answer);
    if (outcome <= 0) {
        set_error(outcome == 0 ? error_timeout : error_invalid_window_handle);
        return false;
    }
    if (result) *result = answer;
    set_error(0);
    return true;
}

// ---- the rest -------------------------------------------------------------

std::uint32_t linux_register_message(const char* name) {
    set_error(0);
    return posix_ipc::message_id(name);
}

std::uint32_t linux_process_id() { return static_cast<std::uint32_t>(getpid()); }
std::uint32_t linux_last_error() { return last_error_value; }

void linux_sleep_ms(std::uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void linux_message_box(const char* text, const char* caption) {
    std::fprintf(stderr, "[message box] %s\n%s\n[end]\n", caption, text);
    std::fflush(stderr);
    if (isatty(STDIN_FILENO)) {
        int c;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }
}

// SKARVO_CLOCK, when set, stands for the calendar time, so that one seed of
// the random generator can be flown again.
std::int64_t linux_calendar_seconds() {
    const char* fixed = std::getenv("SKARVO_CLOCK");
    if (fixed && *fixed) return std::strtoll(fixed, nullptr, 10);
    return static_cast<std::int64_t>(std::time(nullptr));
}

bool linux_replace_file(const char* from, const char* to) {
    int fd = open(from, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    close(fd);
    return synced && rename(from, to) == 0;
}

const platform_call_table system_calls = {
    linux_find_window,  linux_forget_window,  linux_register_message, linux_add_atom,
    linux_delete_atom,  linux_create_mapping, linux_map_view,         linux_unmap_view,
    linux_close_mapping, linux_send_message,  linux_process_id,       linux_last_error,
    set_error,          linux_sleep_ms,       linux_message_box,      linux_calendar_seconds,
    linux_replace_file,
};

}  // namespace

platform_call_table platform_calls = system_calls;

const platform_call_table& platform_system_calls() { return system_calls; }
void platform_restore_calls() { platform_calls = system_calls; }
