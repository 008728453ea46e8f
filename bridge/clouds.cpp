#include "clouds.h"

#include "simlink/thermal_publication.h"
#include "recorder.h"
#include "world.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace bridge {

namespace {

constexpr double feet_per_metre = 1 / 0.3048;

struct slot_sent {
    std::uint32_t serial = 0;
    std::string lat, lon, base, width;
    sim::cumulus shown{};
};

slot_sent sent[cloud_slots];
long updates = 0;
std::uint32_t publications_recorded = 0;
bool sky_decided = false, attached_then = false, blue_then = false;  // what the slots were last filled for

std::uint32_t publications_now() {
    std::uint32_t publications = 0;
    sim::read_offsets(publication_offset, 4, reinterpret_cast<unsigned char*>(&publications));
    return publications;
}

std::string text_of(const sim::published_column& t) {
    char line[128];
    std::snprintf(line, sizeof line, "%u %.6f %.6f %.0f %.0f %.2f", t.serial, t.lat_deg, t.lon_deg, t.top_m,
                  t.radius_m, t.strength_mps);
    return line;
}

// Each publication the program makes goes to the record: what the clouds
// are checked against. True when there is a new one.
bool record_publication() {
    std::uint32_t publications = publications_now();
    if (publications == publications_recorded) return false;
    publications_recorded = publications;
    for (const sim::published_column& t : sim::published_columns())
        sim::report("thermal", text_of(t), false);
    return true;
}

std::string text(const char* format, double value) {
    char t[48];
    std::snprintf(t, sizeof t, format, value);
    return t;
}

std::string slot_path(int i, const char* leaf) { return "/skarvo/clouds/cloud[" + std::to_string(i) + "]/" + leaf; }

void set_if_changed(std::vector<property_set>& sets, int i, const char* leaf, std::string* was, std::string now) {
    if (*was == now) return;
    *was = now;
    sets.push_back({slot_path(i, leaf), std::move(now)});
}

void clear_slot(std::vector<property_set>& sets, int i) {
    sent[i] = slot_sent{};
    sets.push_back({slot_path(i, "serial"), "0"});
}

void show_in_slot(std::vector<property_set>& sets, int i, const sim::cumulus& c) {
    slot_sent& s = sent[i];
    set_if_changed(sets, i, "latitude-deg", &s.lat, text("%.6f", c.lat_deg));
    set_if_changed(sets, i, "longitude-deg", &s.lon, text("%.6f", c.lon_deg));
    set_if_changed(sets, i, "base-ft", &s.base, text("%.0f", c.base_m * feet_per_metre));
    set_if_changed(sets, i, "width-m", &s.width, text("%.0f", c.width_m));
    if (s.serial != c.serial) sets.push_back({slot_path(i, "serial"), std::to_string(c.serial)});
    s.serial = c.serial;
    s.shown = c;
}

int slot_of(std::uint32_t serial) {
    for (int i = 0; i < cloud_slots; ++i)
        if (sent[i].serial == serial) return i;
    return -1;
}

// A dead program's last thermals are nobody's: the block is cleared.
void clear_publication() {
    unsigned char zeros[publication_bytes] = {};
    sim::write_offsets(publication_offset, publication_bytes, zeros);
}

}  // namespace

std::vector<property_set> cloud_sets(bool attached, bool blue) {
    if (!attached && publications_now() != 0) clear_publication();
    // The block changes only with a publication: between them the clouds stand.
    bool published = record_publication();
    if (!published && sky_decided && attached == attached_then && blue == blue_then) return {};
    sky_decided = true, attached_then = attached, blue_then = blue;
    std::vector<sim::cumulus> wanted;
    if (attached && !blue) wanted = sim::clouds_shown();
    std::vector<property_set> sets;
    for (int i = 0; i < cloud_slots; ++i) {
        bool still = std::any_of(wanted.begin(), wanted.end(),
                                 [i](const sim::cumulus& c) { return c.serial == sent[i].serial; });
        if (sent[i].serial != 0 && !still) clear_slot(sets, i);
    }
    for (const sim::cumulus& c : wanted) {
        int i = slot_of(c.serial);
        if (i < 0) i = slot_of(0);
        if (i >= 0) show_in_slot(sets, i, c);
    }
    if (!sets.empty()) sets.push_back({"/skarvo/clouds/update", std::to_string(++updates)});
    return sets;
}

std::vector<sim::cumulus> clouds_on_show() {
    std::vector<sim::cumulus> shown;
    for (const slot_sent& s : sent)
        if (s.serial != 0) shown.push_back(s.shown);
    return shown;
}

void forget_clouds() {
    for (slot_sent& s : sent) s = slot_sent{};
    updates = 0;
    publications_recorded = 0;
    sky_decided = false;
}

}  // namespace bridge
