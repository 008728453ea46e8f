// A client of FlightGear's property server (the telnet "props" protocol):
// line-based commands over TCP, in data mode, where "get PATH" is answered
// with the value alone on a line and "set PATH VALUE" with nothing.
#pragma once

#include <string>
#include <vector>

namespace bridge {

class props_client {
public:
    ~props_client();
    // Connects to host:port and switches to data mode; false on failure.
    bool connect_to(const std::string& host, int port, int timeout_ms);
    bool connected() const { return fd_ >= 0; }
    // Connects again to the same server, dropping what was in flight.
    bool reconnect(int timeout_ms) { return connect_to(host_, port_, timeout_ms); }
    void close_connection();

    // Asks for several properties in one go and reads their answers in
    // order. False when the server does not answer them all in time.
    bool get(const std::vector<std::string>& paths, std::vector<std::string>* values, int timeout_ms);

    // Sends the gets without waiting: get_rest reads their answers.
    bool ask(const std::vector<std::string>& paths);

    const std::string& host() const { return host_; }
    int port() const { return port_; }

    // After a get that timed out on an open connection: reads the answers
    // still owed, in order, until `values` holds `count` of them.
    bool get_rest(std::size_t count, std::vector<std::string>* values, int timeout_ms);

    // Sets a property; the value must not hold a line end.
    bool set(const std::string& path, const std::string& value);

private:
    bool send_text(const std::string& text);
    bool read_line(std::string* line, int timeout_ms);
    int fd_ = -1;
    std::string host_;
    int port_ = 0;
    std::string pending_;  // bytes read past the last line
};

}  // namespace bridge
