#include "recorder.h"

#include "world.h"

#include <cstdio>

namespace sim {

namespace {
std::FILE* record_file = nullptr;
bool verbose_output = false;
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
