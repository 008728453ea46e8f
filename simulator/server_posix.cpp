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
};

struct cached_mapping {
    std::string name;
    unsigned char* address = nullptr;
    std::size_t size = 0;
    dev_t device = 0;
    ino_t inode = 0;
};

int listen_fd = -1;
std::string socket_file;
client_connection clients[max_clients];
cached_mapping mappings[8];
std::size_t next_mapping_victim = 0;
bool any_client_seen = false;
std::uint32_t ipc_message = posix_ipc::message_id("FsasmLib:IPC");

void drop_mapping(cached_mapping& m) {
    if (m.address) munmap(m.address, m.size);
    m = cached_mapping{};
}

bool acceptable_name(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

cached_mapping* map_fresh(cached_mapping& slot, const std::string& name) {
    int fd = shm_open(("/" + name).c_str(), O_RDWR, 0);
    if (fd < 0) return nullptr;
    struct stat st {};
    void* address = MAP_FAILED;
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        address = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (address == MAP_FAILED) return nullptr;
    drop_mapping(slot);
    slot = {name, static_cast<unsigned char*>(address), static_cast<std::size_t>(st.st_size), st.st_dev, st.st_ino};
    return &slot;
}

// The client's shared area, or nullptr when there is no such object. A
// cached view is reused while the name still stands for the same object.
cached_mapping* area_named(const std::string& name) {
    if (!acceptable_name(name)) return nullptr;
    struct stat st {};
    bool exists = stat(("/dev/shm/" + name).c_str(), &st) == 0;
    for (auto& m : mappings) {
        if (m.name != name) continue;
        if (exists && m.device == st.st_dev && m.inode == st.st_ino) return &m;
        drop_mapping(m);
        return exists ? map_fresh(m, name) : nullptr;
    }
    if (!exists) return nullptr;
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

void disconnect(client_connection& c) {
    close(c.fd);
    c = client_connection{};
    std::lock_guard<std::mutex> lock(world_mutex);
    report("disconnect", "a client left");
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
}

void serve(int timeout_ms) {
    pollfd fds[max_clients + 1];
    fds[0] = {listen_fd, POLLIN, 0};
    for (std::size_t i = 0; i < max_clients; ++i) fds[i + 1] = {clients[i].fd, POLLIN, 0};
    int ready = poll(fds, max_clients + 1, timeout_ms);
    if (ready > 0) {
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

}  // namespace sim
