// libFuzzer target: any bytes as warmfeld.prj are read without a crash,
// with a map name of at most 31 characters and thermal positions within
// the world.
#include "multiplayer/create_multi_file.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    std::FILE* f = std::tmpfile();
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::rewind(f);
    project_file p = read_project_file(f);
    std::fclose(f);
    if (p.map_name.size() > project_name_length) std::abort();
    for (const project_thermal& t : p.thermals)
        if (t.latitude < -36000000 || t.latitude > 36000000 || t.longitude < -36000000 || t.longitude > 36000000)
            std::abort();
    return 0;
}
