#include "bridge.h"

#include "mapping.h"
#include "world.h"

#include <vector>

namespace bridge {

namespace {
std::vector<property_set> outbox;
long snapshots = 0;
constexpr std::size_t most_waiting = 1000;
constexpr const char* text_property = "/sim/messages/copilot";
}  // namespace

void queue_client_write(std::uint32_t offset, std::uint32_t n) {
    for (auto& s : sets_for_write(offset, n, sim::world)) {
        bool replaced = false;
        if (s.path != text_property)
            for (auto& waiting : outbox)
                if (waiting.path == s.path) {
                    waiting.value = s.value;
                    replaced = true;
                }
        if (!replaced && outbox.size() < most_waiting) outbox.push_back(std::move(s));
    }
}

bool exchange(props_client& fg) {
    std::vector<std::string> values;
    if (!fg.get(snapshot_paths(), &values, 10000)) {
        // Answers that come late would be taken for the next ones: start afresh.
        return fg.connected() && fg.reconnect(5000);
    }
    std::vector<property_set> sets;
    {
        std::lock_guard<std::mutex> lock(sim::world_mutex);
        snapshots += take_snapshot(values, sim::world, &sets) ? 1 : 0;
        sets.insert(sets.begin(), outbox.begin(), outbox.end());
        outbox.clear();
    }
    for (const auto& s : sets)
        if (!fg.set(s.path, s.value)) return false;
    return true;
}

long snapshots_taken() { return snapshots; }

std::size_t writes_waiting() {
    std::lock_guard<std::mutex> lock(sim::world_mutex);
    return outbox.size();
}

}  // namespace bridge
