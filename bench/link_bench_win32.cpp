// What one exchange of the link costs against the stand-in simulator on
// Windows (a batch with one small read), beside a bare SendMessageTimeout
// round trip to a window of another process that answers at once, measured
// in the same run. The two kinds of exchange alternate in rounds of equal
// size, and all processes run on the first core, as on Linux.
//
//   link_bench.exe [EXCHANGES]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "link_round.h"
#include "simlink/link.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using bench::link_round;

namespace {

using clock_type = std::chrono::steady_clock;
const char* const bare_class = "SKARVOBAREBENCH";

struct figures {
    double median_us, minimum_us;
};

figures figures_of(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples.front()};
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
    SetProcessAffinityMask(info.hProcess, 1);
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

bool bare_round(HWND window, int exchanges, std::vector<double>& samples) {
    static const UINT ipc = RegisterWindowMessageA("FsasmLib:IPC");
    for (int i = 0; i < exchanges; ++i) {
        auto t0 = clock_type::now();
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(window, ipc, 0, 0, SMTO_BLOCK, 2000, &answer)) return false;
        samples.push_back(std::chrono::duration<double, std::micro>(clock_type::now() - t0).count());
    }
    return true;
}


}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--bare-server") == 0) return bare_server();
    int exchanges = argc > 1 ? std::atoi(argv[1]) : 2000;
    constexpr int rounds = 20;
    int per_round = std::max(1, exchanges / rounds);
    SetProcessAffinityMask(GetCurrentProcess(), 1);

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    HANDLE simulator = start(command_line(windows_path(SKARVO_SIM_PATH), "--wall-limit 300"));
    HANDLE bare_process = start(command_line(self, "--bare-server"));
    HWND bare_window = wait_for_window(bare_class);
    if (!simulator || !bare_process || !bare_window || !wait_for_window("UIPCMAIN") || !link_open(0, &link_result)) {
        std::fprintf(stderr, "link_bench: cannot reach the stand-in simulator or the bare server\n");
        return 1;
    }
    std::vector<double> link_samples, bare_samples, warm_up;
    bool ok = link_round(per_round, warm_up) && bare_round(bare_window, per_round, warm_up);
    for (int r = 0; ok && r < rounds; ++r)
        ok = r % 2 == 0 ? link_round(per_round, link_samples) && bare_round(bare_window, per_round, bare_samples)
                        : bare_round(bare_window, per_round, bare_samples) && link_round(per_round, link_samples);
    link_close();
    WaitForSingleObject(simulator, 10000);
    CloseHandle(simulator);
    PostMessageA(bare_window, WM_CLOSE, 0, 0);
    WaitForSingleObject(bare_process, 5000);
    CloseHandle(bare_process);
    if (!ok) {
        std::fprintf(stderr, "link_bench: an exchange failed\n");
        return 1;
    }

    figures link = figures_of(link_samples), plain = figures_of(bare_samples);
    std::printf("exchanges measured:                 %zu each, in %d alternating rounds\n", link_samples.size(), rounds);
    std::printf("link exchange (one small read):     %.1f us median, %.1f us minimum\n", link.median_us, link.minimum_us);
    std::printf("bare SendMessageTimeout round trip: %.1f us median, %.1f us minimum\n", plain.median_us, plain.minimum_us);
    std::printf("ratio of medians link / bare:       %.3f (target at most 1.10)\n", link.median_us / plain.median_us);
    std::fflush(stdout);
    return 0;
}
