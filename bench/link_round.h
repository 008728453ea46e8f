// One link exchange of the benchmarks: a batch with one small read.
#pragma once

#include "simlink/link.h"

#include <chrono>
#include <vector>

namespace bench {

// `exchanges` link exchanges, each one's microseconds added to `samples`.
inline bool link_round(int exchanges, std::vector<double>& samples) {
    signed char time_of_day[3];
    for (int i = 0; i < exchanges; ++i) {
        auto start = std::chrono::steady_clock::now();
        link_read(0x0238, 3, time_of_day, &link_result);
        link_process(&link_result);
        samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (link_result != link_ok) return false;
    }
    return true;
}

}  // namespace bench
