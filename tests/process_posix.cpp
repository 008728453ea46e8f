#include "process.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

child_process start_process(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& out_file, const std::string& err_file) {
    pid_t pid = fork();
    if (pid != 0) return {pid, nullptr};
    int in = open("/dev/null", O_RDONLY);
    int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

int wait_process(child_process& p, double seconds) {
    if (p.id < 0) return -1;
    pid_t pid = static_cast<pid_t>(p.id);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            p.id = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            p.id = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string make_temp_folder(const char* prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) return {};
    return pattern;
}

void use_ipc_folder(const std::string& folder) { setenv("FSUIPC_IPC_DIR", folder.c_str(), 1); }

bool wait_for_server_window(const std::string& ipc_folder, const char* window_class, double seconds) {
    std::filesystem::path socket = std::filesystem::path(ipc_folder) / (std::string(window_class) + ".sock");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!std::filesystem::exists(socket)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

void start_answering_boxes(const child_process&) {}
std::string stop_answering_boxes() { return {}; }
