// What the Linux benchmarks share: the bare round trip they measure the
// link against (a server process that reads a frame, touches the shared
// area and answers), the stand-in simulator as a process, and pinning every
// process to the first core so that each exchange costs the same two
// switches between processes (across cores the figures wander by a factor
// of ten).
#pragma once

#include "platform/posix_ipc.h"

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

using clock_type = std::chrono::steady_clock;

struct figures {
    double median_us, minimum_us;
};
figures figures_of(std::vector<double> samples);

// Pins the calling process (and what it starts later) to the first core.
void pin_to_first_core();

bool wait_for_socket(const std::string& path);

struct bare_link {
    pid_t server = -1;
    int fd = -1;
    unsigned char* area = nullptr;
    posix_ipc::request_frame frame{};
};

// Starts the bare server in `dir` and connects to it.
bool open_bare(bare_link& b, const std::string& dir);
void close_bare(bare_link& b);

// `exchanges` bare round trips, each one's microseconds added to `samples`.
bool bare_round(bare_link& b, int exchanges, std::vector<double>& samples);

// A warm-up round of each, then `rounds` rounds of `per_round` link and bare
// exchanges, the two alternating which goes first.
bool alternate_rounds(bare_link& b, int rounds, int per_round, std::vector<double>& link_samples,
                      std::vector<double>& bare_samples);

// Starts skarvo-sim with the arguments; its standard output goes nowhere.
pid_t start_simulator(const std::vector<std::string>& arguments);

}  // namespace bench
