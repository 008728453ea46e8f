// What one link exchange costs through the FlightGear bridge, beside a bare
// round trip of the same transport, in alternating rounds on one core; and
// how old the bridge's snapshot is: the time between two snapshots, which
// is FlightGear's answer time (here a property server of our own that
// answers at once; with FlightGear itself the bridge prints it when it
// ends, and FlightGear's frame time is its floor).
//
//   bridge_bench [EXCHANGES]
#include "bench_posix.h"
#include "fake_property_server.h"

#include "simlink/link.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace bench;

namespace {

pid_t start_bridge(int port, const std::string& output) {
    pid_t child = fork();
    if (child == 0) {
        pin_to_first_core();
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        execl(SKARVO_FG_PATH, SKARVO_FG_PATH, "--fg-port", std::to_string(port).c_str(), "--wait", "10",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    return child;
}

std::string text_of(const std::string& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 20000;
    constexpr int rounds = 20;
    int per_round = std::max(1, exchanges / rounds);
    char dir[] = "/tmp/skarvo-bridge-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("FSUIPC_IPC_DIR", dir, 1);

    bridge::fake_property_server fg;
    for (const char* p : {"/position/latitude-deg", "/position/longitude-deg", "/position/altitude-ft",
                          "/sim/time/elapsed-sec", "/sim/time/local-day-seconds", "/environment/wind-speed-kt"})
        fg.put(p, "1");
    std::string output = std::string(dir) + "/bridge.out";
    pid_t bridge = start_bridge(fg.port(), output);
    pin_to_first_core();
    bare_link bare;
    if (!wait_for_socket(std::string(dir) + "/UIPCMAIN.sock") || !link_open(0, &link_result) || !open_bare(bare, dir)) {
        std::fprintf(stderr, "bridge_bench: cannot reach the bridge or the bare server\n");
        return 1;
    }
    std::vector<double> link_samples, bare_samples;
    bool ok = alternate_rounds(bare, rounds, per_round, link_samples, bare_samples);
    link_close();
    close_bare(bare);
    waitpid(bridge, nullptr, 0);
    std::string said = text_of(output);
    std::system((std::string("rm -rf ") + dir).c_str());
    if (!ok) {
        std::fprintf(stderr, "bridge_bench: an exchange failed\n");
        return 1;
    }
    figures link = figures_of(link_samples), plain = figures_of(bare_samples);
    std::size_t stats = said.rfind("skarvo-fg: ");
    std::printf("exchanges measured:             %zu each, in %d alternating rounds\n", link_samples.size(), rounds);
    std::printf("link exchange through bridge:   %.2f us median, %.2f us minimum\n", link.median_us, link.minimum_us);
    std::printf("bare socket + shared memory:    %.2f us median, %.2f us minimum\n", plain.median_us, plain.minimum_us);
    std::printf("ratio of medians bridge / bare: %.3f (the stand-in's: link_bench)\n", link.median_us / plain.median_us);
    std::printf("snapshots:                      %s", stats == std::string::npos ? "none reported\n" : said.substr(stats + 11).c_str());
    return 0;
}
