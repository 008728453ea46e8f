#include "recorder.h"

#include "world.h"

#include <cmath>
#include <cstdio>

namespace sim {

namespace {
std::FILE* record_file = nullptr;
bool verbose_output = false;
bool thin_vas = false;
bool vas_recorded = false;
double last_vas = 0, last_vas_seconds = 0;
}

bool open_record(const char* path) {
    close_record();
    record_file = std::fopen(path, "wb");
    return record_file != nullptr;
}

void close_record() {
    if (record_file) std::fclose(record_file);
    record_file = nullptr;
}

void set_verbose(bool verbose) { verbose_output = verbose; }

void set_vas_thinning(bool thin) {
    thin_vas = thin;
    vas_recorded = false;
}

bool vas_worth_recording(double value) {
    double now = world.elapsed_seconds;
    bool same = vas_recorded && std::fabs(value - last_vas) <= 0.01 && now >= last_vas_seconds && now - last_vas_seconds < 1.0;
    if (thin_vas && same) return false;
    vas_recorded = true;
    last_vas = value;
    last_vas_seconds = now;
    return true;
}

void report(const char* kind, const std::string& detail, bool shown) {
    std::string clock = clock_text();
    if (shown || verbose_output) {
        std::printf("[sim %s] %s: %s\n", clock.c_str(), kind, detail.c_str());
        std::fflush(stdout);
    }
    if (record_file) {
        std::fprintf(record_file, "%.3f\t%s\t%s\t%s\n", world.session_seconds, clock.c_str(), kind, detail.c_str());
        std::fflush(record_file);
    }
}

}  // namespace sim
