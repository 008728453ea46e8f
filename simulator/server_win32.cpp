// The simulator's Windows front-end: a real top-level window of the FSUIPC
// class that answers the registered message "FsasmLib:IPC". The message's
// first parameter is a global atom naming the client's file mapping.
//
// Opening a mapping costs several calls into the system, so a client's
// mapping stays open while the client runs. Holding it keeps its name
// alive, so it is let go as soon as the client opens another area or its
// process ends: a new process that happens to get the same process id must
// be able to create that name again.
//
// Every system call here costs a round trip to the system's server (the
// wineserver under Wine), so a batch makes none beyond the message itself:
// the server keeps its own reference to the atom of a client's area, which
// keeps the atom bound to that name, and knows the name without asking.
// Ended clients are looked for a few times a second, not on every batch.
//
// There are no connections on Windows. A client is taken to have connected
// when it first sends a batch, and to have left when its process has ended
// (the mapping's name carries the client's process id).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "server.h"

#include "batch.h"
#include "recorder.h"
#include "scenario.h"
#include "world.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

HWND server_window = nullptr;
ATOM window_class_atom = 0;
std::string window_class_name;
UINT ipc_message = 0;
bool any_client_seen = false;

struct client_process {
    DWORD id = 0;
    HANDLE handle = nullptr;
    std::string area_name;       // the area the client last named
    ATOM atom = 0;               // the server's own reference to that name's atom
    HANDLE mapping = nullptr;    // kept open while the client runs
    unsigned char* area = nullptr;
    std::size_t area_size = 0;
};
client_process clients[16];

void release_area(client_process& c) {
    if (c.atom) GlobalDeleteAtom(c.atom);
    if (c.area) UnmapViewOfFile(c.area);
    if (c.mapping) CloseHandle(c.mapping);
    c.area_name.clear();
    c.atom = 0;
    c.mapping = nullptr;
    c.area = nullptr;
    c.area_size = 0;
}

void forget(client_process& c) {
    release_area(c);
    if (c.handle) CloseHandle(c.handle);
    c = client_process{};
}

// The process id in a name "FsasmLib:IPC:<pid>:<counter>" (hexadecimal).
DWORD process_of(const char* name) {
    const char* prefix = "FsasmLib:IPC:";
    if (std::strncmp(name, prefix, std::strlen(prefix)) != 0) return 0;
    return static_cast<DWORD>(std::strtoul(name + std::strlen(prefix), nullptr, 16));
}

// The client of that process id, noted now if it is new; nullptr when
// there is no such process or no room.
client_process* client_of(DWORD id) {
    if (id == 0) return nullptr;
    client_process* free_slot = nullptr;
    for (auto& c : clients) {
        if (c.handle && c.id == id) return &c;
        if (!c.handle && !free_slot) free_slot = &c;
    }
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!h || !free_slot) {
        if (h) CloseHandle(h);
        return nullptr;
    }
    free_slot->id = id;
    free_slot->handle = h;
    any_client_seen = true;
    report("connect", "a client connected");
    return free_slot;
}

void forget_ended_clients() {
    static ULONGLONG last_look = 0;
    ULONGLONG now = GetTickCount64();
    if (now - last_look < 200) return;
    last_look = now;
    for (auto& c : clients) {
        if (!c.handle || WaitForSingleObject(c.handle, 0) != WAIT_OBJECT_0) continue;
        forget(c);
        report("disconnect", "a client left");
    }
}

bool open_area(client_process& c, const char* name) {
    release_area(c);
    c.mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!c.mapping) return false;
    c.area = static_cast<unsigned char*>(MapViewOfFile(c.mapping, FILE_MAP_WRITE, 0, 0, 0));
    MEMORY_BASIC_INFORMATION region{};
    if (!c.area || VirtualQuery(c.area, &region, sizeof region) == 0) {
        release_area(c);
        return false;
    }
    c.area_name = name;
    c.atom = GlobalAddAtomA(name);
    c.area_size = region.RegionSize;
    return true;
}

// The client whose area the atom names, when the server holds that atom.
client_process* client_holding(ATOM atom) {
    if (atom == 0) return nullptr;
    for (auto& c : clients)
        if (c.handle && c.area && c.atom == atom) return &c;
    return nullptr;
}

std::int32_t serve_area(const char* name) {
    client_process* c = client_of(process_of(name));
    if (c) {
        if (c->area_name != name && !open_area(*c, name)) return 0;
        return serve_batch(c->area, c->area_size);
    }
    // A name that does not tell its process: served, and let go at once.
    client_process passing{};
    std::int32_t result = open_area(passing, name) ? serve_batch(passing.area, passing.area_size) : 0;
    release_area(passing);
    return result;
}

std::int32_t serve_atom(ATOM atom) {
    if (client_process* c = client_holding(atom)) return serve_batch(c->area, c->area_size);
    char name[256] = {};
    if (GlobalGetAtomNameA(atom, name, sizeof name) == 0) return 0;
    return serve_area(name);
}

LRESULT answer(WPARAM atom) {
    wait_answer_delay();
    std::lock_guard<std::mutex> lock(world_mutex);
    tick_real_time();
    run_due_events();
    if (scenario_stopped()) return 0;
    std::int32_t result = serve_atom(static_cast<ATOM>(atom));
    if (world.mode == clock_mode::lock_step) advance_clock(world.step_seconds);
    run_due_events();
    return result;
}

LRESULT CALLBACK window_procedure(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == ipc_message && ipc_message != 0) return answer(wparam);
    return DefWindowProcA(window, msg, wparam, lparam);
}

bool fail(std::string* error, const char* what) {
    char text[128];
    std::snprintf(text, sizeof text, "%s failed (error %lu)", what, static_cast<unsigned long>(GetLastError()));
    *error = text;
    return false;
}

}  // namespace

bool open_server(const char* window_class, std::string* error) {
    ipc_message = RegisterWindowMessageA("FsasmLib:IPC");
    if (ipc_message == 0) return fail(error, "RegisterWindowMessageA");
    window_class_name = window_class;
    WNDCLASSA wc{};
    wc.lpfnWndProc = window_procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = window_class_name.c_str();
    window_class_atom = RegisterClassA(&wc);
    if (window_class_atom == 0) return fail(error, "RegisterClassA");
    server_window = CreateWindowExA(0, window_class_name.c_str(), "Skarvo stand-in simulator", WS_OVERLAPPED, 0, 0, 0,
                                    0, nullptr, nullptr, wc.hInstance, nullptr);
    if (!server_window) return fail(error, "CreateWindowExA");
    any_client_seen = false;
    start_real_time();
    return true;
}

void close_server() {
    if (server_window) DestroyWindow(server_window);
    server_window = nullptr;
    if (window_class_atom) UnregisterClassA(window_class_name.c_str(), GetModuleHandleA(nullptr));
    window_class_atom = 0;
    for (auto& c : clients) forget(c);
}

void serve(int timeout_ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeout_ms), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    std::lock_guard<std::mutex> lock(world_mutex);
    forget_ended_clients();
    tick_real_time();
    run_due_events();
}

std::size_t client_count() {
    std::size_t count = 0;
    for (auto& c : clients) count += c.handle != nullptr;
    return count;
}

bool client_seen() { return any_client_seen; }

// A window message leaves no trace of how its sender ended.
bool client_vanished() { return false; }

}  // namespace sim
