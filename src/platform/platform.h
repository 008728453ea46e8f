// The platform layer: everything the operating system provides to the program.
//
// The subsystems never include an operating-system header; they reach the
// system only through the functions below. There is one implementation per
// system (platform_windows.cpp, platform_linux.cpp), compiled whole or not at
// all. The functions mirror the Win32 primitives the link and the user
// interface need, so the same client code runs on both; on Linux the
// primitives are stood in for by a Unix socket per server window and POSIX
// shared memory, as the link's Linux contract describes.
//
// Every call goes through `platform_calls`, a table of function pointers that
// tests may replace entry by entry to inject failures (a send that times out,
// a mapping that already exists, a view that cannot be made).
#pragma once

#include <cstdint>

// A window, file mapping or other system object; 0 means none.
using platform_handle = std::intptr_t;

// Win32 error values the program distinguishes.
constexpr std::uint32_t error_already_exists = 183;
constexpr std::uint32_t error_invalid_window_handle = 1400;
constexpr std::uint32_t error_timeout = 1460;

struct platform_call_table {
    // Finds a top-level window of the class; 0 when there is none.
    // (FindWindowExA with no parent, no child-after and no title.)
    platform_handle (*find_window)(const char* class_name);

    // Releases what finding a window holds; the handle is no longer used.
    // (Nothing on Windows; closes the connection on Linux.)
    void (*forget_window)(platform_handle window);

    // The system-wide identifier of a named window message; 0 on failure.
    std::uint32_t (*register_message)(const char* name);

    // A global atom holding the name; 0 on failure. Deleted by delete_atom.
    std::uint16_t (*add_atom)(const char* name);
    void (*delete_atom)(std::uint16_t atom);

    // A named read/write mapping of `size` bytes backed by the paging file.
    // 0 on failure. When the name already existed the handle of the existing
    // object is returned and the last error is error_already_exists.
    platform_handle (*create_mapping)(const char* name, std::uint32_t size);

    // A writable view of the whole mapping; nullptr on failure.
    void* (*map_view)(platform_handle mapping);
    void (*unmap_view)(void* view);

    // Closes a mapping handle (the object dies with its last handle).
    void (*close_mapping)(platform_handle mapping);

    // Sends a message and blocks until the window answers or `timeout_ms`
    // runs out. True with the window's answer in *result; false on failure,
    // with the last error error_timeout or error_invalid_window_handle.
    bool (*send_message)(platform_handle window, std::uint32_t msg, std::uint32_t wparam,
                         std::uint32_t lparam, std::uint32_t timeout_ms, std::int32_t* result);

    std::uint32_t (*process_id)();
    std::uint32_t (*last_error)();
    void (*set_last_error)(std::uint32_t error);
    void (*sleep_ms)(std::uint32_t milliseconds);

    // A desktop message box with no owner window and one OK button; returns
    // when the user has pressed OK.
    void (*message_box)(const char* text, const char* caption);

    // Seconds since 1970, for seeding the random generator.
    std::int64_t (*calendar_seconds)();

    // Puts the file `from` in the place of `to` in one step, replacing what
    // was there: after a crash or power loss `to` is either the old file or
    // the whole new one. The new file's data reach the disk first.
    bool (*replace_file)(const char* from, const char* to);
};

// The calls in force. Starts as the system's own; tests may swap entries.
extern platform_call_table platform_calls;

// The system's own table, for restoring entries after a test.
const platform_call_table& platform_system_calls();
void platform_restore_calls();

// Thin wrappers: the only way down for the program's code.
inline platform_handle find_window(const char* class_name) { return platform_calls.find_window(class_name); }
inline void forget_window(platform_handle window) { platform_calls.forget_window(window); }
inline std::uint32_t register_message(const char* name) { return platform_calls.register_message(name); }
inline std::uint16_t add_atom(const char* name) { return platform_calls.add_atom(name); }
inline void delete_atom(std::uint16_t atom) { platform_calls.delete_atom(atom); }
inline platform_handle create_mapping(const char* name, std::uint32_t size) { return platform_calls.create_mapping(name, size); }
inline void* map_view(platform_handle mapping) { return platform_calls.map_view(mapping); }
inline void unmap_view(void* view) { platform_calls.unmap_view(view); }
inline void close_mapping(platform_handle mapping) { platform_calls.close_mapping(mapping); }
inline bool send_message(platform_handle window, std::uint32_t msg, std::uint32_t wparam, std::uint32_t lparam,
                         std::uint32_t timeout_ms, std::int32_t* result) {
    return platform_calls.send_message(window, msg, wparam, lparam, timeout_ms, result);
}
inline std::uint32_t process_id() { return platform_calls.process_id(); }
inline std::uint32_t last_error() { return platform_calls.last_error(); }
inline void set_last_error(std::uint32_t error) { platform_calls.set_last_error(error); }
inline void sleep_ms(std::uint32_t milliseconds) { platform_calls.sleep_ms(milliseconds); }
inline void message_box(const char* text, const char* caption) { platform_calls.message_box(text, caption); }
inline std::int64_t calendar_seconds() { return platform_calls.calendar_seconds(); }
inline bool replace_file(const char* from, const char* to) { return platform_calls.replace_file(from, to); }
