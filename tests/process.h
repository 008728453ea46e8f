// What the end-to-end and in-process tests need from the system they run
// on: child processes with their output in files, waited for with a limit
// so that no test can hang; a fresh folder; where servers are found; and,
// on Windows, someone to answer the program's message boxes.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct child_process {
    long long id = -1;      // process id; -1 when none
    void* handle = nullptr; // Windows: the process handle
};

// Starts `program` with `arguments` in folder `cwd`, standard input empty,
// standard output and error to the files named.
child_process start_process(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& out_file, const std::string& err_file);

// Waits up to `seconds`; the exit code, or -1 when it had to be killed.
int wait_process(child_process& p, double seconds);

inline std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A new empty folder under the system's temporary folder.
std::string make_temp_folder(const char* prefix);

// Linux: where the stand-in's sockets go (FSUIPC_IPC_DIR). Windows: nothing.
void use_ipc_folder(const std::string& folder);

// Waits until a server window of the class can be found.
bool wait_for_server_window(const std::string& ipc_folder, const char* window_class, double seconds);

// Windows: answers every message box of the process with OK, noting each as
// "[message box] caption\ntext\n[end]\n" (as Linux writes them to standard
// error). Linux: nothing; the boxes are in the process's standard error.
void start_answering_boxes(const child_process& p);
std::string stop_answering_boxes();
