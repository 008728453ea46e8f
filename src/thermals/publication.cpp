// The published block is queued into a batch the loop sends anyway, so
// publishing adds requests to batches but never a batch of its own.
#include "thermals/publication.h"

#include "config/settings.h"
#include "simlink/link.h"
#include "simlink/thermal_publication.h"
#include "thermals/drift.h"
#include "thermals/lift.h"
#include "thermals/thermal_state.h"

namespace {

// What makes a slot's thermal the same thermal from one look to the next.
struct slot_identity {
    std::uint32_t birth_time, lifetime;
    std::int32_t multi_id, top;
    float radius;
    bool operator==(const slot_identity&) const = default;
};

struct publisher {
    bool due = true;
    std::uint32_t next_serial = 1;
    slot_identity seen[published_records] = {};
    thermal_publication block = {};
};

publisher pub;

slot_identity identity_of_active(const active_thermal& t) {
    if (t.strength <= 0) return {};
    return {t.birth_time, t.lifetime, t.multi_id, t.top, t.radius};
}

slot_identity identity_of_house(int j) {
    if (j >= house_count) return {};
    // A house thermal's top is drawn anew with every new thermal: it stays
    // the same thermal.
    return {0, 0, j + 1, 0, house_thermals[j].radius};
}

slot_identity identity_of(int record) {
    if (record < published_active_records) return identity_of_active(active_thermals[record]);
    return identity_of_house(record - published_active_records);
}

// True when any slot took a new thermal or was emptied since the last look.
bool take_new_serials() {
    bool changed = false;
    for (int i = 0; i < published_records; ++i) {
        slot_identity now = identity_of(i);
        if (now == pub.seen[i]) continue;
        pub.seen[i] = now;
        pub.block.record[i].serial = now == slot_identity{} ? 0 : pub.next_serial++;
        changed = true;
    }
    return changed;
}

void fill_active(published_thermal& r, const active_thermal& t, std::uint32_t now) {
    float life = life_factor(t, now);
    r.top_m = t.top;
    active_column_top(t, &r.lat_rad, &r.lon_rad);
    r.radius_miles = t.radius;
    r.strength_mps = life > 0 ? t.strength * life : 0;
}

void fill_house(published_thermal& r, const house_thermal& h) {
    r.top_m = h.top;
    house_column_top(h, &r.lat_rad, &r.lon_rad);
    r.radius_miles = h.radius;
    r.strength_mps = h.strength > 0 ? h.strength : 0;
}

void fill_block(std::uint32_t now) {
    for (int i = 0; i < published_records; ++i) {
        published_thermal& r = pub.block.record[i];
        if (r.serial == 0)
            r = published_thermal{};
        else if (i < published_active_records)
            fill_active(r, active_thermals[i], now);
        else
            fill_house(r, house_thermals[i - published_active_records]);
    }
    ++pub.block.publications;
    pub.block.time_of_day = now;
}

}  // namespace

void publication_due() { pub.due = true; }

void queue_thermal_publication(std::uint32_t now) {
    if (publish_thermals != 1) return;
    bool changed = take_new_serials();
    if (!changed && !pub.due) return;
    fill_block(now);
    link_write(publication_offset, publication_bytes, &pub.block, &link_result);
    pub.due = false;
}

void reset_thermal_publication() { pub = publisher{}; }
