// A property server of our own that answers as FlightGear's does (data
// mode: "get" answered with the value, empty for an unknown property, and
// "set" silent), for the bridge's tests and benchmark.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace bridge {

class fake_property_server {
public:
    fake_property_server();
    ~fake_property_server();
    int port() const { return port_; }
    void put(const std::string& path, const std::string& value);
    std::string value(const std::string& path);
    std::vector<std::string> sets_of(const std::string& path);  // every value set, in order
    // The terrain probe of the add-on: the answer for a point
    // ("none" where no scenery is loaded). Without it the probe is missing.
    void set_terrain(std::function<std::string(double lat_deg, double lon_deg)> height);
    // An older add-on: no block probe, only points and grids.
    void without_blocks() { blocks_ = false; }
    // FlightGear killed: the connection and the listener close at once.
    void vanish();
    // One frame that long (scenery loading, say): the next line is served
    // after it, the connection open.
    void stall(int milliseconds) { stall_ms_ = milliseconds; }
    // The same when this property is next asked for.
    void stall_when_asked(const std::string& path, int milliseconds);

private:
    void serve();
    void serve_connection(int fd);
    void answer(int fd, const std::string& line);
    void answer_probe(const std::string& path, const std::string& request);
    std::function<std::string(double, double)> terrain_;
    int listener_ = -1, port_ = 0;
    std::mutex connections_m_;
    std::vector<int> connections_;
    std::vector<std::thread> connection_threads_;
    std::atomic<bool> vanished_{false};
    std::atomic<int> stall_ms_{0};
    std::string stall_path_;  // guarded by m_, as stall_path_ms_
    int stall_path_ms_ = 0;
    std::atomic<bool> blocks_{true};
    std::thread thread_;
    std::mutex m_;
    std::map<std::string, std::string> props_;
    std::vector<std::pair<std::string, std::string>> set_log_;
};

}  // namespace bridge
