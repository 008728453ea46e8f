#include "props_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bridge {

props_client::~props_client() { close_connection(); }

void props_client::close_connection() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pending_.clear();
}

bool props_client::connect_to(const std::string& host, int port, int timeout_ms) {
    close_connection();
    host_ = host;
    port_ = port;
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) return false;
    fd_ = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
    bool ok = fd_ >= 0 && ::connect(fd_, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    if (!ok) {
        close_connection();
        return false;
    }
    int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!send_text("data\r\n")) return false;
    // A get answered proves the server is in data mode and awake.
    std::vector<std::string> values;
    return get({"/sim/time/elapsed-sec"}, &values, timeout_ms);
}

bool props_client::send_text(const std::string& text) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < text.size()) {
        ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close_connection();
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return fd_ >= 0;
}

bool props_client::read_line(std::string* line, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            *line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            while (!line->empty() && (line->back() == '\r' || line->back() == ' ')) line->pop_back();
            return true;
        }
        if (pending_.size() > 65536) {
            close_connection();  // no answer of the server is that long
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (fd_ < 0 || left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buffer[4096];
        ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            close_connection();
            return false;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool props_client::ask(const std::vector<std::string>& paths) {
    std::string request;
    for (const auto& p : paths) request += "get " + p + "\r\n";
    return send_text(request);
}

bool props_client::get(const std::vector<std::string>& paths, std::vector<std::string>* values, int timeout_ms) {
    if (!ask(paths)) return false;
    values->clear();
    return get_rest(paths.size(), values, timeout_ms);
}

bool props_client::get_rest(std::size_t count, std::vector<std::string>* values, int timeout_ms) {
    std::string line;
    while (values->size() < count) {
        if (!read_line(&line, timeout_ms)) return false;
        values->push_back(line);
    }
    return true;
}

bool props_client::set(const std::string& path, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) return false;
    return send_text("set " + path + " " + value + "\r\n");
}

}  // namespace bridge
