#include "bench_posix.h"

#include "link_round.h"

#include "simlink/link.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bench {

namespace {
sockaddr_un address_of(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    return a;
}

bool read_exact(int fd, unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        ssize_t n = read(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The bare server: reads a frame, copies a word in the shared area, replies.
[[noreturn]] void bare_server(const std::string& path, unsigned char* area) {
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a = address_of(path);
    unlink(path.c_str());
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 1) != 0) _exit(1);
    int fd = accept(listener, nullptr, nullptr);
    unsigned char frame[posix_ipc::request_header_bytes + posix_ipc::max_atom_name];
    while (read_exact(fd, frame, posix_ipc::request_header_bytes)) {
        std::uint16_t n = posix_ipc::get_u16(frame + 20);
        if (!read_exact(fd, frame + posix_ipc::request_header_bytes, n)) break;
        std::memcpy(area + 16, area + 4, 4);
        unsigned char reply[posix_ipc::reply_bytes];
        posix_ipc::encode_reply(posix_ipc::get_u32(frame + 4), 1, reply);
        if (write(fd, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) break;
    }
    _exit(0);
}

}  // namespace

figures figures_of(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front()};
}

// Pins the calling process (and what it starts later) to the first core.
void pin_to_first_core() {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(0, &set);
    sched_setaffinity(0, sizeof set, &set);
}

bool wait_for_socket(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (access(path.c_str(), F_OK) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool open_bare(bare_link& b, const std::string& dir) {
    std::string path = dir + "/bare.sock";
    b.area = static_cast<unsigned char*>(
        mmap(nullptr, link_area_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (b.area == MAP_FAILED) return false;
    b.server = fork();
    if (b.server == 0) {
        pin_to_first_core();
        bare_server(path, b.area);
    }
    if (!wait_for_socket(path)) return false;
    b.fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a = address_of(path);
    if (connect(b.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
    const char name[] = "FsasmLib:IPC:1:1";
    b.frame = {0, posix_ipc::message_id("FsasmLib:IPC"), 0xC000, 0, sizeof name - 1, {}};
    std::memcpy(b.frame.name, name, sizeof name - 1);
    return true;
}

void close_bare(bare_link& b) {
    close(b.fd);
    waitpid(b.server, nullptr, 0);
    munmap(b.area, link_area_bytes);
}

bool bare_round(bare_link& b, int exchanges, std::vector<double>& samples) {
    for (int i = 0; i < exchanges; ++i) {
        auto start = clock_type::now();
        std::memset(b.area, 0, 24);
        ++b.frame.sequence;
        unsigned char bytes[posix_ipc::request_header_bytes + posix_ipc::max_atom_name];
        std::size_t size = posix_ipc::encode_request(b.frame, bytes);
        unsigned char reply[posix_ipc::reply_bytes];
        if (write(b.fd, bytes, size) != static_cast<ssize_t>(size) || !read_exact(b.fd, reply, sizeof reply))
            return false;
        volatile unsigned char seen = b.area[16];
        (void)seen;
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
    }
    return true;
}

bool alternate_rounds(bare_link& b, int rounds, int per_round, std::vector<double>& link_samples,
                      std::vector<double>& bare_samples) {
    std::vector<double> warm_up;
    bool ok = link_round(per_round, warm_up) && bare_round(b, per_round, warm_up);
    for (int r = 0; ok && r < rounds; ++r)
        ok = r % 2 == 0 ? link_round(per_round, link_samples) && bare_round(b, per_round, bare_samples)
                        : bare_round(b, per_round, bare_samples) && link_round(per_round, link_samples);
    return ok;
}

pid_t start_simulator(const std::vector<std::string>& arguments) {
    pid_t simulator = fork();
    if (simulator == 0) {
        pin_to_first_core();
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        std::vector<char*> argv{const_cast<char*>(SKARVO_SIM_PATH)};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(SKARVO_SIM_PATH, argv.data());
        _exit(127);
    }
    return simulator;
}

}  // namespace bench
