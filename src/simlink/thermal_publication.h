// The thermals published for companion programs (a cloud painter, a map),
// an extension the settings turn on. The program writes the block into
// offsets nothing else uses; companions read it from the same offsets.
//
//   0xA000  u32  publications so far (0 = nothing published yet)
//   0xA004  u32  the time of day of the last publication, seconds
//   0xA008  eight records of 32 bytes: the five active thermals, then the
//           three house thermals, each:
//     +0   u32  serial: changes when the slot takes a new thermal; 0 = empty
//     +4   i32  top, metres above sea level
//     +8   f64  latitude of the column at its top, radians
//     +16  f64  longitude of the column at its top, radians
//     +24  f32  radius, statute miles
//     +28  f32  strength now (time of day and life), m/s; the lift at the
//               centre is 0.9045 times it
// All little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t publication_offset = 0xA000;
constexpr int published_records = 8;
constexpr int published_active_records = 5;
constexpr std::uint32_t publication_header_bytes = 8;

struct published_thermal {
    std::uint32_t serial;
    std::int32_t top_m;
    double lat_rad;
    double lon_rad;
    float radius_miles;
    float strength_mps;
};
static_assert(sizeof(published_thermal) == 32 && offsetof(published_thermal, lat_rad) == 8 &&
              offsetof(published_thermal, radius_miles) == 24);

struct thermal_publication {
    std::uint32_t publications;
    std::uint32_t time_of_day;
    published_thermal record[published_records];
};
static_assert(sizeof(thermal_publication) == publication_header_bytes + published_records * 32);

constexpr std::uint32_t publication_bytes = sizeof(thermal_publication);
