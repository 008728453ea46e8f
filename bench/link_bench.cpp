// What one exchange of the link costs against the stand-in simulator (a
// batch with one small read), beside a bare round trip over the same kind
// of socket with the same shared-memory touch, measured in the same run.
//
//   link_bench [EXCHANGES]
//
// Both servers run as processes of their own, as the simulator does.
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

double median_us(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
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

double bare_round_trip_us(int exchanges, const std::string& dir) {
    std::string path = dir + "/bare.sock";
    auto* area = static_cast<unsigned char*>(
        mmap(nullptr, link_area_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    pid_t child = fork();
    if (child == 0) bare_server(path, area);
    if (!wait_for_socket(path)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a = address_of(path);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
    const char name[] = "FsasmLib:IPC:1:1";
    posix_ipc::request_frame f{0, posix_ipc::message_id("FsasmLib:IPC"), 0xC000, 0, sizeof name - 1, {}};
    std::memcpy(f.name, name, sizeof name - 1);
    std::vector<double> samples;
    for (int i = 0; i < exchanges; ++i) {
        auto start = clock_type::now();
        std::memset(area, 0, 24);
        f.sequence = static_cast<std::uint32_t>(i);
        unsigned char bytes[posix_ipc::request_header_bytes + posix_ipc::max_atom_name];
        std::size_t size = posix_ipc::encode_request(f, bytes);
        unsigned char reply[posix_ipc::reply_bytes];
        if (write(fd, bytes, size) != static_cast<ssize_t>(size) || !read_exact(fd, reply, sizeof reply)) return -1;
        volatile unsigned char seen = area[16];
        (void)seen;
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
    }
    close(fd);
    waitpid(child, nullptr, 0);
    munmap(area, link_area_bytes);
    return median_us(samples);
}

double link_exchange_us(int exchanges) {
    std::vector<double> samples;
    signed char time_of_day[3];
    for (int i = 0; i < exchanges; ++i) {
        auto start = clock_type::now();
        link_read(0x0238, 3, time_of_day, &link_result);
        link_process(&link_result);
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - start).count());
        if (link_result != link_ok) return -1;
    }
    return median_us(samples);
}

}  // namespace

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 20000;
    char dir[] = "/tmp/skarvo-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("FSUIPC_IPC_DIR", dir, 1);

    pid_t simulator = fork();
    if (simulator == 0) {
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        execl(SKARVO_SIM_PATH, SKARVO_SIM_PATH, "--wall-limit", "300", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (!wait_for_socket(std::string(dir) + "/UIPCMAIN.sock") || !link_open(0, &link_result)) {
        std::fprintf(stderr, "link_bench: cannot reach the stand-in simulator\n");
        return 1;
    }
    link_exchange_us(exchanges / 10);  // warm up
    double link_us = link_exchange_us(exchanges);
    link_close();
    waitpid(simulator, nullptr, 0);
    double bare_us = bare_round_trip_us(exchanges, dir);
    std::system((std::string("rm -rf ") + dir).c_str());

    std::printf("exchanges measured:             %d each\n", exchanges);
    std::printf("link exchange (one small read): %.2f us median\n", link_us);
    std::printf("bare socket + shared memory:    %.2f us median\n", bare_us);
    std::printf("ratio link / bare:              %.3f (target at most 1.25)\n", link_us / bare_us);
    return 0;
}
