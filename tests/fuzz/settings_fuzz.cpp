// libFuzzer target: any bytes as skv.ini give a settings record that
// satisfies every invariant, with no crash and no sanitizer report.
#include "settings_support.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    start_clean_settings();
    read_settings_text(std::string(reinterpret_cast<const char*>(data), size));
    std::string failure = settings_invariant_failure();
    if (!failure.empty()) {
        std::fprintf(stderr, "settings invariant broken: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
