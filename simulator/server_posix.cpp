// The simulator's Linux front-end: the server window is a Unix socket at
// IPC_DIR/<class>.sock; each request frame names the client's shared area,
// which is mapped (and kept mapped until its name is re-created) and served.
#include "server.h"

#include "batch.h"
#include "platform/posix_ipc.h"
#include "platform/posix_ipc_dir.h"
#include "recorder.h"
#include "scenario.h"
#include "world.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr std::size_t max_clients = 16;
constexpr std::size_t max_frame = posix_ipc::request_header_bytes + posix_ipc::max_atom_name;

struct client_connection {
    int fd = -1;
    unsigned char frame[max_frame];
    std::size_t have = 0;
    std::string area;  // the name of the last shared area it sent
};

// A client's shared area, mapped with the object kept open. A cached view
// must be let go once its name is unlinked or re-created. The folder of the
// shared-memory names is watched, so that a batch costs no look-up; where it
// cannot be watched, each batch asks whether the open object still has its
// name (an unlinked object has no links left).
struct cached_mapping {
    std::string name;
    int fd = -1;
    unsigned char* address = nullptr;
    std::size_t size = 0;
};

int listen_fd = -1;
std::string socket_file;
client_connection clients[max_clients];
cached_mapping mappings[8];
std::size_t next_mapping_victim = 0;
bool any_client_seen = false;
bool last_client_vanished = false;
int names_watch_fd = -1;
bool names_watched = false;
std::uint32_t ipc_message = posix_ipc::message_id("FsasmLib:IPC");

void drop_mapping(cached_mapping& m) {
    if (m.address) munmap(m.address, m.size);
    if (m.fd >= 0) close(m.fd);
    m = cached_mapping{};
}

bool acceptable_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool still_linked(const cached_mapping& m) {
    struct stat st {};
    return fstat(m.fd, &st) == 0 && st.st_nlink > 0;
}

cached_mapping* map_fresh(cached_mapping& slot, const std::string& name) {
    drop_mapping(slot);
    int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    struct stat st {};
    void* address = MAP_FAILED;
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        address = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    slot = {name, fd, static_cast<unsigned char*>(address), static_cast<std::size_t>(st.st_size)};
    return &slot;
}

void watch_names() {
    names_watch_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    names_watched = names_watch_fd >= 0 &&
                    inotify_add_watch(names_watch_fd, "/dev/shm", IN_DELETE | IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO) >= 0;
}

void forget_watched_name(const char* name) {
    for (auto& m : mappings)
        if (m.address && m.name == name) drop_mapping(m);
}

// Lets go of every cached view whose name changed since the last look.
void read_name_changes() {
    alignas(inotify_event) char events[4096];
    for (;;) {
        ssize_t n = read(names_watch_fd, events, sizeof events);
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            if (e->mask & IN_Q_OVERFLOW)
                for (auto& m : mappings) drop_mapping(m);
            else if (e->len > 0)
                forget_watched_name(e->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
}

// The client's shared area, or nullptr when there is no such object. A
// cached view is reused while its object still carries the name.
cached_mapping* area_named(const std::string& name) {
    if (!acceptable_name(name)) return nullptr;
    for (auto& m : mappings) {
        if (m.name != name) continue;
        if (names_watched || still_linked(m)) return &m;
        return map_fresh(m, name);
    }
    for (auto& m : mappings)
        if (!m.address) return map_fresh(m, name);
    cached_mapping& victim = mappings[next_mapping_victim++ % std::size(mappings)];
    return map_fresh(victim, name);
}

std::int32_t answer(const posix_ipc::request_frame& f) {
    wait_answer_delay();
    std::lock_guard<std::mutex> lock(world_mutex);
    tick_real_time();
    run_due_events();
    if (f.msg != ipc_message || f.name_length == 0 || scenario_stopped()) return 0;
    cached_mapping* area = area_named(std::string(f.name, f.name_length));
    std::int32_t result = area ? serve_batch(area->address, area->size) : 0;
    if (world.mode == clock_mode::lock_step) advance_clock(world.step_seconds);
    run_due_events();
    return result;
}

// A program that closes its link lets go of its shared area before its
// window; one whose area still carries its name when the connection ends
// was killed or crashed.
bool area_left_behind(const std::string& name) {
    if (!acceptable_name(name)) return false;
    int fd = shm_open(("/" + name).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

void disconnect(client_connection& c) {
    close(c.fd);
    last_client_vanished = area_left_behind(c.area);
    c = client_connection{};
    std::lock_guard<std::mutex> lock(world_mutex);
    report("disconnect", last_client_vanished ? "a client went without closing its link" : "a client left");
}

bool send_reply(int fd, std::uint32_t sequence, std::int32_t result) {
    unsigned char reply[posix_ipc::reply_bytes];
    posix_ipc::encode_reply(sequence, result, reply);
    std::size_t sent = 0;
    while (sent < sizeof reply) {
        ssize_t n = send(fd, reply + sent, sizeof reply - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Serves every whole frame in the connection's buffer. False when the
// connection must close (bad magic, over-long name, reply not sent).
bool serve_frames(client_connection& c) {
    for (;;) {
        if (c.have < posix_ipc::request_header_bytes) return true;
        if (posix_ipc::get_u32(c.frame) != posix_ipc::request_magic) return false;
        std::uint16_t name_length = posix_ipc::get_u16(c.frame + 20);
        if (name_length > posix_ipc::max_atom_name) return false;
        std::size_t size = posix_ipc::request_header_bytes + name_length;
        if (c.have < size) return true;
        posix_ipc::request_frame f{posix_ipc::get_u32(c.frame + 4), posix_ipc::get_u32(c.frame + 8),
                                   posix_ipc::get_u32(c.frame + 12), posix_ipc::get_u32(c.frame + 16),
                                   name_length, {}};
        std::memcpy(f.name, c.frame + posix_ipc::request_header_bytes, name_length);
        if (name_length > 0) c.area.assign(reinterpret_cast<const char*>(f.name), name_length);
        if (!send_reply(c.fd, f.sequence, answer(f))) return false;
        std::memmove(c.frame, c.frame + size, c.have - size);
        c.have -= size;
    }
}

void read_from(client_connection& c) {
    ssize_t n = recv(c.fd, c.frame + c.have, max_frame - c.have, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
        disconnect(c);
        return;
    }
    c.have += static_cast<std::size_t>(n);
    if (!serve_frames(c)) disconnect(c);
}

void accept_client() {
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    for (auto& c : clients) {
        if (c.fd >= 0) continue;
        c.fd = fd;
        c.have = 0;
        any_client_seen = true;
        std::lock_guard<std::mutex> lock(world_mutex);
        report("connect", "a client connected");
        return;
    }
    close(fd);
}

bool fail(std::string* error, const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool open_server(const char* window_class, std::string* error) {
    std::string dir = posix_ipc::directory();
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return fail(error, "cannot create " + dir);
    std::string fault = posix_ipc::directory_fault(dir);
    if (!fault.empty()) {
        *error = "the link folder " + dir + " " + fault + "; it is not used";
        return false;
    }
    socket_file = posix_ipc::socket_path(window_class);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_file.size() >= sizeof address.sun_path) {
        *error = "socket path too long: " + socket_file;
        return false;
    }
    std::memcpy(address.sun_path, socket_file.c_str(), socket_file.size() + 1);
    unlink(socket_file.c_str());
    listen_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd < 0) return fail(error, "socket");
    mode_t old_mask = umask(0177);
    int bound = bind(listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    umask(old_mask);
    if (bound != 0 || listen(listen_fd, 16) != 0) {
        bool ok = fail(error, "cannot listen at " + socket_file);
        close(listen_fd);
        listen_fd = -1;
        return ok;
    }
    any_client_seen = false;
    last_client_vanished = false;
    watch_names();
    start_real_time();
    return true;
}

void close_server() {
    for (auto& c : clients)
        if (c.fd >= 0) {
            close(c.fd);
            c = client_connection{};
        }
    for (auto& m : mappings) drop_mapping(m);
    if (listen_fd >= 0) {
        close(listen_fd);
        unlink(socket_file.c_str());
    }
    listen_fd = -1;
    if (names_watch_fd >= 0) close(names_watch_fd);
    names_watch_fd = -1;
    names_watched = false;
}

// The watch on the names comes last in the poll: a frame found waiting was
// sent after any change of name before it, so that change is seen in the
// same poll and dealt with first.
void serve(int timeout_ms) {
    pollfd fds[max_clients + 2];
    fds[0] = {listen_fd, POLLIN, 0};
    for (std::size_t i = 0; i < max_clients; ++i) fds[i + 1] = {clients[i].fd, POLLIN, 0};
    fds[max_clients + 1] = {names_watch_fd, POLLIN, 0};
    int ready = poll(fds, max_clients + 2, timeout_ms);
    if (ready > 0) {
        if (fds[max_clients + 1].revents & POLLIN) read_name_changes();
        for (std::size_t i = 0; i < max_clients; ++i)
            if (clients[i].fd >= 0 && (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))) read_from(clients[i]);
        if (fds[0].revents & POLLIN) accept_client();
    }
    std::lock_guard<std::mutex> lock(world_mutex);
    tick_real_time();
    run_due_events();
}

std::size_t client_count() {
    std::size_t count = 0;
    for (auto& c : clients) count += c.fd >= 0;
    return count;
}

bool client_seen() { return any_client_seen; }

bool client_vanished() { return last_client_vanished; }

}  // namespace sim
