// What one exchange of the link costs against the stand-in simulator (a
// batch with one small read), beside a bare round trip over the same kind
// of socket with the same shared-memory touch, measured in the same run.
//
//   link_bench [--pilot] [EXCHANGES]
//
// --pilot: the stand-in's glider and soaring pilot fly while it serves.
//
// Both servers run as processes of their own, as the simulator does, all on
// the first core. The two kinds of exchange alternate in rounds of equal
// size, so a change of the machine's pace during the run falls on both alike.
#include "bench_posix.h"

#include "simlink/link.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

using namespace bench;

int main(int argc, char** argv) {
    bool pilot = argc > 1 && std::string(argv[1]) == "--pilot";
    int exchanges = argc > 1 + pilot ? std::atoi(argv[1 + pilot]) : 20000;
    constexpr int rounds = 20;
    int per_round = std::max(1, exchanges / rounds);
    char dir[] = "/tmp/skarvo-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    setenv("FSUIPC_IPC_DIR", dir, 1);

    std::string scenario = std::string(dir) + "/bench.scn";
    std::ofstream(scenario) << (pilot ? "pilot auto\nclouds 3000 9\n" : "");
    pid_t simulator = start_simulator({"--scenario", scenario, "--wall-limit", "300"});
    bare_link bare;
    pin_to_first_core();
    if (!wait_for_socket(std::string(dir) + "/UIPCMAIN.sock") || !link_open(0, &link_result) || !open_bare(bare, dir)) {
        std::fprintf(stderr, "link_bench: cannot reach the stand-in simulator or the bare server\n");
        return 1;
    }
    std::vector<double> link_samples, bare_samples;
    bool ok = alternate_rounds(bare, rounds, per_round, link_samples, bare_samples);
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
