// The platform layer on Windows: the Win32 primitives themselves.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/platform.h"

#include <ctime>

namespace {

HWND as_window(platform_handle handle) { return reinterpret_cast<HWND>(handle); }

platform_handle win_find_window(const char* class_name) {
    return reinterpret_cast<platform_handle>(FindWindowExA(nullptr, nullptr, class_name, nullptr));
}

void win_forget_window(platform_handle) {}

std::uint32_t win_register_message(const char* name) { return RegisterWindowMessageA(name); }

std::uint16_t win_add_atom(const char* name) { return GlobalAddAtomA(name); }

void win_delete_atom(std::uint16_t atom) { GlobalDeleteAtom(atom); }

platform_handle win_create_mapping(const char* name, std::uint32_t size) {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name);
    return reinterpret_cast<platform_handle>(h);
}

void* win_map_view(platform_handle mapping) {
    return MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_WRITE, 0, 0, 0);
}

void win_unmap_view(void* view) { UnmapViewOfFile(view); }

void win_close_mapping(platform_handle mapping) { CloseHandle(reinterpret_cast<HANDLE>(mapping)); }

bool win_send_message(platform_handle window, std::uint32_t msg, std::uint32_t wparam, std::uint32_t lparam,
                      std::uint32_t timeout_ms, std::int32_t* result) {
    DWORD_PTR answer = 0;
    LRESULT sent = SendMessageTimeoutA(as_window(window), msg, wparam, static_cast<LPARAM>(lparam), SMTO_BLOCK,
                                       timeout_ms, &answer);
    if (sent == 0) return false;
    if (result) *result = static_cast<std::int32_t>(answer);
    return true;
}

std::uint32_t win_process_id() { return GetCurrentProcessId(); }
std::uint32_t win_last_error() { return GetLastError(); }
void win_set_last_error(std::uint32_t error) { SetLastError(error); }
void win_sleep_ms(std::uint32_t milliseconds) { Sleep(milliseconds); }

void win_message_box(const char* text, const char* caption) { MessageBoxA(nullptr, text, caption, MB_OK); }

std::int64_t win_calendar_seconds() { return static_cast<std::int64_t>(std::time(nullptr)); }

bool win_replace_file(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

const platform_call_table system_calls = {
    win_find_window,   win_forget_window,  win_register_message, win_add_atom,
    win_delete_atom,   win_create_mapping, win_map_view,         win_unmap_view,
    win_close_mapping, win_send_message,   win_process_id,       win_last_error,
    win_set_last_error, win_sleep_ms,      win_message_box,      win_calendar_seconds,
    win_replace_file,
};

}  // namespace

platform_call_table platform_calls = system_calls;

const platform_call_table& platform_system_calls() { return system_calls; }
void platform_restore_calls() { platform_calls = system_calls; }
