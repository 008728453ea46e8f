#include "fake_property_server.h"

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace bridge {

namespace {
// FlightGear's property server reads lines of up to 8 KB: a longer set
// keeps the value's first 8,170 characters (measured with FlightGear 2020.3).
constexpr std::size_t longest_set_value = 8170;

// The add-on's answer for a block: whole metres, a change of -31 to 30 m a
// digit, other values "(METRES)", no scenery ".".
std::string encoded_ground(const std::vector<std::string>& heights) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string out;
    bool known = false;
    long last = 0;
    for (const auto& h : heights) {
        if (h == "none") {
            out += '.';
            known = false;
            continue;
        }
        long m = std::lround(std::clamp(std::atof(h.c_str()), -32768.0, 32767.0));
        if (known && m - last >= -31 && m - last <= 30) out += digits[m - last + 31];
        else {
            out += '(';  // piece by piece: see answer_probe
            out += std::to_string(m);
            out += ')';
        }
        known = true;
        last = m;
    }
    return out;
}
}  // namespace

fake_property_server::fake_property_server() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener_, 4);
    socklen_t length = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
}

fake_property_server::~fake_property_server() {
    vanish();
    thread_.join();
    for (auto& t : connection_threads_) t.join();
    close(listener_);
}

void fake_property_server::vanish() {
    if (vanished_.exchange(true)) return;
    shutdown(listener_, SHUT_RDWR);
    std::lock_guard<std::mutex> lock(connections_m_);
    for (int fd : connections_) shutdown(fd, SHUT_RDWR);
}

void fake_property_server::put(const std::string& path, const std::string& value) {
    std::lock_guard<std::mutex> lock(m_);
    props_[path] = value;
}

std::string fake_property_server::value(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_);
    return props_[path];
}

std::vector<std::string> fake_property_server::sets_of(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_);
    std::vector<std::string> found;
    for (const auto& [p, v] : set_log_)
        if (p == path) found.push_back(v);
    return found;
}

void fake_property_server::set_terrain(std::function<std::string(double, double)> height) {
    std::lock_guard<std::mutex> lock(m_);
    terrain_ = std::move(height);
}

void fake_property_server::answer_probe(const std::string& path, const std::string& request) {
    auto number = [this](const char* p) { return std::atof(props_[p].c_str()); };
    std::string answer = request;
    if (path == "/skarvo/probe/point-request") {
        answer += ' ';
        answer += terrain_(number("/skarvo/probe/latitude-deg"), number("/skarvo/probe/longitude-deg"));
        props_["/skarvo/probe/point-answer"] = answer;
    } else if (path == "/skarvo/probe/grid-request") {
        double step = number("/skarvo/probe/step-deg");
        for (int i = 0; i < static_cast<int>(number("/skarvo/probe/rows")); ++i)
            for (int j = 0; j < static_cast<int>(number("/skarvo/probe/columns")); ++j) {
                // Appended piece by piece: GCC 12 at -O3 takes " " + string for an
                // overlapping copy (-Werror=restrict).
                answer += ' ';
                answer += terrain_(number("/skarvo/probe/south-deg") + i * step, number("/skarvo/probe/west-deg") + j * step);
            }
        props_["/skarvo/probe/grid-answer"] = answer;
    } else if (blocks_ && path.starts_with("/skarvo/probe/block[") && path.ends_with("]/request")) {
        std::string block = path.substr(0, path.size() - std::string("request").size());
        auto numbers = [&](const std::string& name) {
            std::vector<double> found;
            for (int n = 0; props_.count(block + name + "[" + std::to_string(n) + "]"); ++n) {
                std::istringstream piece(props_[block + name + "[" + std::to_string(n) + "]"]);
                for (double d; piece >> d;) found.push_back(d);
            }
            return found;
        };
        std::vector<std::string> heights;
        std::vector<double> longitudes = numbers("longitudes");
        for (double lat : numbers("latitudes"))
            for (double lon : longitudes) heights.push_back(terrain_(lat, lon));
        answer += ' ';
        answer += encoded_ground(heights);
        props_[block + "answer"] = answer;
    }
}

void fake_property_server::serve() {
    for (;;) {
        int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        std::lock_guard<std::mutex> lock(connections_m_);
        connections_.push_back(fd);
        if (vanished_) shutdown(fd, SHUT_RDWR);
        connection_threads_.emplace_back([this, fd] { serve_connection(fd); });
    }
}

void fake_property_server::serve_connection(int fd) {
    int one = 1;  // answers go out at once, as FlightGear's do
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::string pending;
    char buffer[4096];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (int ms = stall_ms_.exchange(0); ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            answer(fd, line);
        }
    }
    std::lock_guard<std::mutex> lock(connections_m_);
    connections_.erase(std::find(connections_.begin(), connections_.end(), fd));
    close(fd);
}

void fake_property_server::stall_when_asked(const std::string& path, int milliseconds) {
    std::lock_guard<std::mutex> lock(m_);
    stall_path_ = path;
    stall_path_ms_ = milliseconds;
}

void fake_property_server::answer(int fd, const std::string& line) {
    std::istringstream in(line);
    std::string command, path;
    in >> command >> path;
    std::unique_lock<std::mutex> lock(m_);
    if (command == "get" && !stall_path_.empty() && path == stall_path_) {
        stall_path_.clear();
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(stall_path_ms_));
        lock.lock();
    }
    if (command == "get") {
        std::string reply = props_[path] + "\r\n";
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
    } else if (command == "set") {
        std::string value;
        std::getline(in >> std::ws, value);
        value.resize(std::min<std::size_t>(value.size(), longest_set_value));
        props_[path] = value;
        if (set_log_.size() < 100000) set_log_.push_back({path, value});
        if (terrain_) answer_probe(path, value);
    }
}

}  // namespace bridge
