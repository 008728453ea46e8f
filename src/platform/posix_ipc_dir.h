// Where the Linux stand-in keeps its server sockets. Linux-only: included by
// the Linux platform layer and the stand-in simulator's Linux front-end.
#pragma once

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace posix_ipc {

// FSUIPC_IPC_DIR when set and not empty, else /tmp/fsuipc-<uid>.
inline std::string directory() {
    const char* dir = std::getenv("FSUIPC_IPC_DIR");
    if (dir && *dir) return dir;
    return "/tmp/fsuipc-" + std::to_string(static_cast<unsigned long>(getuid()));
}

inline std::string socket_path(const char* window_class) {
    return directory() + "/" + window_class + ".sock";
}

}  // namespace posix_ipc
