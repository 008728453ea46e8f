// What one exchange of the link costs against the stand-in simulator (a
// batch with one small read), beside a bare round trip over the same kind
// of socket with the same shared-memory touch, measured in the same run.
//
//   link_bench [EXCHANGES]
//
// Both servers run as processes of their own, as the simulator does, and
// all three processes are pinned to the same core: every exchange then
// costs the same two switches between processes, wherever the system would
// have placed them (across cores the figures wander by a factor of ten). The two kinds of exchange alternate in
// rounds of equal size, so a change of the machine's pace during the run
// falls on both alike.
#include "platform/posix_ipc.h"
#include "platform/posix_ipc_dir.h"
#include "simlink/link.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

struct figures {
    double median_us, minimum_us;
};

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

sockaddr_un address_of(const std::string& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    return a;
}

bool wait_for_socket(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        if (access(path.c_str(), F_OK) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
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

struct bare_link {
    pid_t server = -1;
    int fd = -1;
    unsigned char* area = nullptr;
    posix_ipc::request_frame frame{};
};

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

bool link_round(int exchanges, std::vector<double>& samples) {
    signed char time_of_day[3];
    for (int i = 0; i < exchanges; ++i) {
        auto start = clock_type::now();
        link_read(0x0238, 3, time_of_day, &link_result);
        link_process(&link_result);
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
        if (link_result != link_ok) return false;
    }
    return true;
}

pid_t start_simulator() {
    pid_t simulator = fork();
    if (simulator == 0) {
        pin_to_first_core();
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        execl(SKARVO_SIM_PATH, SKARVO_SIM_PATH, "--wall-limit", "300", static_cast<char*>(nullptr));
        _exit(127);
    }
    return simulator;
}

}  // namespace

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 20000;
    constexpr int rounds = 20;
    int per_round = std::max(1, exchanges / rounds);
    char dir[] = "/tmp/skarvo-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("FSUIPC_IPC_DIR", dir, 1);

    pid_t simulator = start_simulator();
    bare_link bare;
    pin_to_first_core();
    if (!wait_for_socket(std::string(dir) + "/UIPCMAIN.sock") || !link_open(0, &link_result) || !open_bare(bare, dir)) {
        std::fprintf(stderr, "link_bench: cannot reach the stand-in simulator or the bare server\n");
        return 1;
    }
    std::vector<double> link_samples, bare_samples, warm_up;
    bool ok = link_round(per_round, warm_up) && bare_round(bare, per_round, warm_up);
    for (int r = 0; ok && r < rounds; ++r)
        ok = r % 2 == 0 ? link_round(per_round, link_samples) && bare_round(bare, per_round, bare_samples)
                        : bare_round(bare, per_round, bare_samples) && link_round(per_round, link_samples);
    link_close();
    close_bare(bare);
    waitpid(simulator, nullptr, 0);
    std::system((std::string("rm -rf ") + dir).c_str());
    if (!ok) {
        std::fprintf(stderr, "link_bench: an exchange failed\n");
        return 1;
    }

    figures link = figures_of(link_samples), plain = figures_of(bare_samples);
    std::printf("exchanges measured:             %zu each, in %d alternating rounds\n", link_samples.size(), rounds);
    std::printf("link exchange (one small read): %.2f us median, %.2f us minimum\n", link.median_us, link.minimum_us);
    std::printf("bare socket + shared memory:    %.2f us median, %.2f us minimum\n", plain.median_us, plain.minimum_us);
    std::printf("ratio of medians link / bare:   %.3f (target at most 1.10)\n", link.median_us / plain.median_us);
    return 0;
}
