// The simulator's front-end: a server window of the given class that
// answers the link's window message by serving the batch in the client's
// shared area. One implementation per system; all of them serve batches
// with serve_batch and take the world's lock while they do.
#pragma once

#include <cstddef>
#include <string>

namespace sim {

// Starts listening as a window of `window_class` ("UIPCMAIN" or "FS98MAIN").
bool open_server(const char* window_class, std::string* error);
void close_server();

// Waits up to `timeout_ms` for traffic and serves what comes; also runs the
// clock in real-time mode and the scenario events that fall due.
void serve(int timeout_ms);

std::size_t client_count();
bool client_seen();  // since open_server
// The last client to leave went without closing its link (killed, crashed).
bool client_vanished();

}  // namespace sim
