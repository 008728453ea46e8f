#include "settings_support.h"

#include "config/settings.h"
#include "driver/session.h"
#include "platform/platform.h"
#include "thermals/thermal_state.h"

#include <cstring>
#include <fstream>
#include <sstream>

std::vector<caught_box> boxes;
std::vector<caught_tool_call> tool_calls;

namespace {

void catch_box(const char* text, const char* caption) { boxes.push_back({caption, text}); }

void catch_create(std::uint32_t start, std::uint32_t stop, int source, float north, float south, float west,
                  float east, float coverage, float north_south, float east_west) {
    tool_calls.push_back({"create", {double(start), double(stop), double(source), north, south, west, east, coverage,
                                     north_south, east_west}});
}
void catch_import() { tool_calls.push_back({"import", {}}); }
void catch_topo(float north, float south, float west, float east, int keep, float settle) {
    tool_calls.push_back({"topo", {north, south, west, east, double(keep), settle}});
}

const settings_tool_calls real_tools = settings_tools;

}  // namespace

void start_clean_settings() {
    reset_settings();
    reset_thermal_state();
    reset_session();
    boxes.clear();
    tool_calls.clear();
    platform_calls.message_box = catch_box;
    settings_tools = {catch_create, catch_import, catch_topo};
}

void stop_catching() {
    platform_restore_calls();
    settings_tools = real_tools;
}

std::vector<std::string> shipped_lines() {
    std::ifstream file(SKARVO_INI_PATH);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (line.find_first_not_of(" \t\r") != std::string::npos) lines.push_back(line);
    return lines;
}

std::string settings_with(const std::vector<std::pair<int, std::string>>& changes) {
    std::vector<std::string> lines = shipped_lines();
    for (const auto& [step, line] : changes) lines.at(static_cast<std::size_t>(step - 1)) = line;
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

void read_settings_text(const std::string& text) {
    std::istringstream in(text);
    read_settings_from(in);
}

std::string settings_invariant_failure() {
    bool durations_default = duration_min == 15 && duration_span == 10;
    if (!durations_default && (duration_min < 10 || duration_min + duration_span > 45)) return "duration";
    if (lean_factor != 70 && (lean_factor < 30 || lean_factor > 150)) return "lean factor";
    if (sink_setting < 0 || sink_setting > 200) return "sink setting";
    if (sink_rate > 0.0f) return "sink rate";
    if (cheat_keys_option < 0 || cheat_keys_option > 2) return "cheat keys";
    if (program_mode < 0 || program_mode > 2) return "program mode";
    if (topo_scan < 0 || topo_scan > 1) return "terrain scan";
    if (house_count < 0 || house_count > house_slots) return "house count";
    if (house_count != 0 && program_mode != 0) return "house thermals outside single-player flying";
    for (int i = 0; i < house_count; ++i)
        if (std::memchr(house_thermals[i].name, 0, sizeof house_thermals[i].name) == nullptr) return "house name";
    if (weak_layer_height < 0 || weak_layer_height > 914) return "weak layer";
    if (!(radius_min > 0.0f) || !(radius_span > 0.0f)) return "radius";
    if (!(field_radius > 0.0f)) return "field radius";
    if (!(thermal_strength >= 0.0f && thermal_strength <= 3000 * 0.00508f + 0.001f)) return "thermal strength";
    if (scenery_lift_enabled != 0 && scenery_lift_enabled != 1) return "scenery lift";
    if (inversion_strength != 0.0f && (inversion_strength < 0.0999f || inversion_strength > 0.5001f))
        return "inversion strength";
    if (inversion_strength != 0.0f && (inversion_half_thickness < 76 || inversion_half_thickness > 458))
        return "inversion thickness";
    return "";
}
