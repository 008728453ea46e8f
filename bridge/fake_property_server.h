// A property server of our own that answers as FlightGear's does (data
// mode: "get" answered with the value, empty for an unknown property, and
// "set" silent), for the bridge's tests and benchmark.
#pragma once

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

private:
    void serve();
    void answer(int fd, const std::string& line);
    int listener_ = -1, port_ = 0;
    std::thread thread_;
    std::mutex m_;
    std::map<std::string, std::string> props_;
    std::vector<std::pair<std::string, std::string>> set_log_;
};

}  // namespace bridge
