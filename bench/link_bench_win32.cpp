// What one exchange of the link costs against the stand-in simulator on
// Windows (a batch with one small read), beside a bare SendMessageTimeout
// round trip to a window of another process that answers at once, measured
// in the same run.
//
//   link_bench.exe [EXCHANGES]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "simlink/link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
const char* const bare_class = "SKARVOBAREBENCH";

double median_us(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

std::string windows_path(const char* path) {
    std::string p;
    if (path[0] == '/') p.append("Z:");
    for (const char* c = path; *c; ++c) p.push_back(*c == '/' ? '\\' : *c);
    return p;
}

std::string command_line(const std::string& program, const char* arguments) {
    std::string line;
    line.append("\"").append(program).append("\" ").append(arguments);
    return line;
}

// Starts a process whose output goes nowhere.
HANDLE start(const std::string& command) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nowhere;
    PROCESS_INFORMATION info{};
    std::string line = command;
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    CloseHandle(nowhere);
    if (!started) return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

HWND wait_for_window(const char* window_class) {
    for (int i = 0; i < 1000; ++i) {
        if (HWND w = FindWindowExA(nullptr, nullptr, window_class, nullptr)) return w;
        Sleep(10);
    }
    return nullptr;
}

LRESULT CALLBACK bare_procedure(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    static UINT ipc = RegisterWindowMessageA("FsasmLib:IPC");
    if (msg == ipc) return 1;
    if (msg == WM_CLOSE) PostQuitMessage(0);
    return DefWindowProcA(window, msg, wparam, lparam);
}

int bare_server() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = bare_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = bare_class;
    RegisterClassA(&wc);
    CreateWindowExA(0, bare_class, "", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

double bare_round_trip_us(int exchanges) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    HANDLE server = start(command_line(self, "--bare-server"));
    HWND window = wait_for_window(bare_class);
    if (!server || !window) return -1;
    UINT ipc = RegisterWindowMessageA("FsasmLib:IPC");
    std::vector<double> samples;
    for (int i = 0; i < exchanges; ++i) {
        auto t0 = clock_type::now();
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(window, ipc, 0, 0, SMTO_BLOCK, 2000, &answer);
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - t0).count());
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    WaitForSingleObject(server, 5000);
    CloseHandle(server);
    return median_us(samples);
}

double link_exchange_us(int exchanges) {
    std::vector<double> samples;
    signed char time_of_day[3];
    for (int i = 0; i < exchanges; ++i) {
        auto t0 = clock_type::now();
        link_read(0x0238, 3, time_of_day, &link_result);
        link_process(&link_result);
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - t0).count());
        if (link_result != link_ok) return -1;
    }
    return median_us(samples);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--bare-server") == 0) return bare_server();
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 2000;

    HANDLE simulator = start(command_line(windows_path(SKARVO_SIM_PATH), "--wall-limit 300"));
    if (!simulator || !wait_for_window("UIPCMAIN") || !link_open(0, &link_result)) {
        std::fprintf(stderr, "link_bench: cannot reach the stand-in simulator\n");
        return 1;
    }
    link_exchange_us(exchanges / 10);  // warm up
    double link_us = link_exchange_us(exchanges);
    link_close();
    WaitForSingleObject(simulator, 10000);
    CloseHandle(simulator);
    double bare_us = bare_round_trip_us(exchanges);

    std::printf("exchanges measured:                %d each\n", exchanges);
    std::printf("link exchange (one small read):    %.1f us median\n", link_us);
    std::printf("bare SendMessageTimeout round trip: %.1f us median\n", bare_us);
    std::printf("ratio link / bare:                 %.3f (target at most 1.25)\n", link_us / bare_us);
    std::fflush(stdout);
    return 0;
}
