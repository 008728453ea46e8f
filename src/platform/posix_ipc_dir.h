// Where the Linux stand-in keeps its server sockets. Linux-only: included by
// the Linux platform layer and the stand-in simulator's Linux front-end.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace posix_ipc {

// FSUIPC_IPC_DIR when set and not empty, else /tmp/fsuipc-<uid>.
inline std::string directory() {
    const char* dir = std::getenv("FSUIPC_IPC_DIR");
    if (dir && *dir) return dir;
    return "/tmp/fsuipc-" + std::to_string(static_cast<unsigned long>(getuid()));
}

// What makes the folder unfit to hold the sockets, or an empty string when
// it is fit: a real folder (not a link to one) of this user's, closed to
// everyone else. Another user could otherwise own it and listen in it.
inline std::string directory_fault(const std::string& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) return "cannot be looked at";
    if (S_ISLNK(st.st_mode)) return "is a symbolic link, not a folder";
    if (!S_ISDIR(st.st_mode)) return "is not a folder";
    if (st.st_uid != getuid()) return "belongs to another user";
    if ((st.st_mode & 077) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
        return std::string("is open to other users (mode ") + mode + ")";
    }
    return {};
}

// Whether the folder exists at all (a link to one counts).
inline bool directory_exists(const std::string& dir) {
    struct stat st {};
    return lstat(dir.c_str(), &st) == 0;
}

inline std::string socket_path(const char* window_class) {
    return directory() + "/" + window_class + ".sock";
}

}  // namespace posix_ipc
