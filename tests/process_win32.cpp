#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "process.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

// Paths of the build are Unix paths; under Wine the Unix root is drive Z:.
std::string windows_path(const std::string& path) {
    std::string p;
    if (!path.empty() && path[0] == '/') p.append("Z:");
    for (char c : path) p.push_back(c == '/' ? '\\' : c);
    return p;
}

HANDLE open_for_child(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileA(windows_path(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, write ? CREATE_ALWAYS : OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string quoted(const std::string& argument) { return "\"" + argument + "\""; }

}  // namespace

child_process start_process(const std::string& program, const std::vector<std::string>& arguments,
                            const std::string& cwd, const std::string& out_file, const std::string& err_file) {
    std::string command = quoted(windows_path(program));
    for (const auto& a : arguments) command.append(" ").append(quoted(a));
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = open_for_child("NUL", false);
    startup.hStdOutput = open_for_child(out_file, true);
    startup.hStdError = open_for_child(err_file, true);
    PROCESS_INFORMATION info{};
    BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  windows_path(cwd).c_str(), &startup, &info);
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    if (!started) return {};
    CloseHandle(info.hThread);
    return {static_cast<long long>(info.dwProcessId), info.hProcess};
}

int wait_process(child_process& p, double seconds) {
    if (!p.handle) return -1;
    HANDLE h = static_cast<HANDLE>(p.handle);
    int code = -1;
    if (WaitForSingleObject(h, static_cast<DWORD>(seconds * 1000)) == WAIT_OBJECT_0) {
        DWORD exit_code = 0;
        GetExitCodeProcess(h, &exit_code);
        code = static_cast<int>(exit_code & 0xFF);
    } else {
        TerminateProcess(h, 255);
        WaitForSingleObject(h, 5000);
    }
    CloseHandle(h);
    p = child_process{};
    return code;
}

std::string make_temp_folder(const char* prefix) {
    static unsigned counter = 0;
    auto base = std::filesystem::path(SKARVO_TEST_TMP);
    for (;;) {
        auto folder = base / (std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                              std::to_string(++counter));
        std::error_code error;
        std::filesystem::create_directories(base, error);
        if (std::filesystem::create_directory(folder, error)) return folder.string();
        if (error) return {};
    }
}

void use_ipc_folder(const std::string&) {}

bool wait_for_server_window(const std::string&, const char* window_class, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!FindWindowExA(nullptr, nullptr, window_class, nullptr)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

// ---- answering message boxes ---------------------------------------------

namespace {

std::thread box_thread;
std::atomic<bool> answering{false};
std::mutex box_log_mutex;
std::string box_log;
DWORD watched_process = 0;

struct found_dialog {
    HWND window;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM found) {
    char class_name[16] = {};
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != watched_process || !GetClassNameA(window, class_name, sizeof class_name)) return TRUE;
    if (std::string(class_name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    reinterpret_cast<found_dialog*>(found)->window = window;
    return FALSE;
}

// Notes the dialog's caption and text, presses OK and waits until it is gone.
void answer(HWND dialog) {
    char caption[256] = {}, text[1024] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    GetDlgItemTextA(dialog, 0xFFFF, text, sizeof text);
    {
        std::lock_guard<std::mutex> lock(box_log_mutex);
        box_log += std::string("[message box] ") + caption + "\n" + text + "\n[end]\n";
    }
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 500 && IsWindow(dialog); ++i) Sleep(10);
}

}  // namespace

void start_answering_boxes(const child_process& p) {
    box_log.clear();
    watched_process = static_cast<DWORD>(p.id);
    answering = true;
    box_thread = std::thread([] {
        while (answering) {
            found_dialog found{nullptr};
            EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&found));
            if (found.window)
                answer(found.window);
            else
                Sleep(20);
        }
    });
}

std::string stop_answering_boxes() {
    answering = false;
    if (box_thread.joinable()) box_thread.join();
    std::lock_guard<std::mutex> lock(box_log_mutex);
    return box_log;
}
