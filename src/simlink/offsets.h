// Every FSUIPC offset the program reads or writes, with its width in bytes.
#pragma once

#include <cstdint>

struct fsuipc_offset {
    std::uint32_t offset;
    std::uint32_t bytes;
};

constexpr fsuipc_offset off_time_of_day{0x0238, 3};         // hour, minute, second (signed bytes)
constexpr fsuipc_offset off_pause{0x0264, 2};               // 1 = paused
constexpr fsuipc_offset off_magnetic_variation{0x02A0, 2};  // signed, 65536 = 360 degrees
constexpr fsuipc_offset off_elapsed_seconds{0x0310, 8};     // double
constexpr fsuipc_offset off_latitude_low{0x0560, 4};        // fraction of a unit x 2^32
constexpr fsuipc_offset off_latitude_high{0x0564, 4};       // signed; 10001750 units = 90 degrees
constexpr fsuipc_offset off_longitude_low{0x0568, 4};       // fraction of a unit x 2^32
constexpr fsuipc_offset off_longitude_high{0x056C, 4};      // signed; 2^32 units = 360 degrees
constexpr fsuipc_offset off_altitude{0x0574, 4};            // whole metres, signed
constexpr fsuipc_offset off_slew_mode{0x05DC, 2};           // 1 = on
constexpr fsuipc_offset off_ground_elevation{0x0B4C, 2};    // metres, signed
constexpr fsuipc_offset off_wind_speed{0x0E90, 2};          // knots
constexpr fsuipc_offset off_wind_direction{0x0E92, 2};      // 65536 = 360 degrees
constexpr fsuipc_offset off_wind_layer_top{0x0EEE, 2};      // metres; magnetic correction below it
constexpr fsuipc_offset off_cloud_type{0x0F80, 2};          // 9 = cumulus
constexpr fsuipc_offset off_cloud_altitude{0xC682, 2};      // metres
constexpr fsuipc_offset off_hotkey_slot_count{0x320C, 4};
constexpr fsuipc_offset off_hotkey_slots{0x3210, 4};        // slot i at 0x3210 + 4 i
constexpr fsuipc_offset off_message_seconds{0x32FA, 2};
constexpr fsuipc_offset off_hotkey_event{0x32FE, 1};        // changes with every hot key pressed
constexpr fsuipc_offset off_fsuipc_version{0x3304, 4};
constexpr fsuipc_offset off_simulator_version{0x3308, 4};   // upper 16 bits 0xFADE
constexpr fsuipc_offset off_client_version{0x330A, 2};
constexpr fsuipc_offset off_message_text{0x3380, 128};
constexpr fsuipc_offset off_vertical_air_write{0x3478, 8};  // double, m/s
constexpr fsuipc_offset off_vertical_air_read{0x3518, 8};   // double, m/s
constexpr fsuipc_offset off_ground_speed{0x6030, 8};        // double, m/s
constexpr fsuipc_offset off_ground_track{0x6040, 8};        // double, radians

constexpr std::uint32_t hotkey_slot_offset(std::uint32_t slot) { return off_hotkey_slots.offset + 4 * slot; }
