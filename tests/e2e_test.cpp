// The program and the stand-in simulator as separate processes, as a pilot
// would run them: what the simulator shows and records, what the desktop
// shows, and how both end.
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct record_line {
    double session_seconds;
    std::string clock;
    std::string kind;
    std::string detail;
};

std::vector<record_line> parse_record(const std::string& text) {
    std::vector<record_line> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        record_line r;
        std::string seconds;
        std::getline(fields, seconds, '\t');
        std::getline(fields, r.clock, '\t');
        std::getline(fields, r.kind, '\t');
        std::getline(fields, r.detail);
        r.session_seconds = std::atof(seconds.c_str());
        lines.push_back(r);
    }
    return lines;
}

std::vector<record_line> texts_of(const std::vector<record_line>& record) {
    std::vector<record_line> texts;
    for (const auto& r : record)
        if (r.kind == "text") texts.push_back(r);
    return texts;
}

// The pilot quits: TAB-Backspace, then TAB-F12 within the window.
std::string quit_at(int seconds) {
    return "at " + std::to_string(seconds) + " key backspace\nat " + std::to_string(seconds + 1) + " key f12\n";
}

class end_to_end : public ::testing::Test {
protected:
    void SetUp() override {
        work = make_temp_folder("skarvo-e2e");
        ASSERT_FALSE(work.empty());
        fs::create_directory(work / "ipc");
        fs::permissions(work / "ipc", fs::perms::owner_all);  // the link's folder is the user's alone
        fs::copy_file(SKARVO_INI_PATH, work / "skv.ini");
        use_ipc_folder((work / "ipc").string());
    }
    void TearDown() override {
        wait_process(simulator, 0);
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    void start_simulator(const std::string& scenario, const char* window_class = "UIPCMAIN") {
        std::ofstream(work / "test.scn") << scenario;
        simulator = start_process(SKARVO_SIM_PATH,
                                  {"--scenario", "test.scn", "--record", "record.tsv", "--class", window_class,
                                   "--wall-limit", "60"},
                                  work.string(), (work / "sim.out").string(), (work / "sim.err").string());
        ASSERT_TRUE(wait_for_server_window((work / "ipc").string(), window_class, 10))
            << read_file((work / "sim.err").string());
    }

    int run_program(double limit_seconds = 60) {
        child_process program = start_process(SKARVO_PATH, {}, work.string(), (work / "skarvo.out").string(),
                                              (work / "skarvo.err").string());
        start_answering_boxes(program);
        int exit_code = wait_process(program, limit_seconds);
        boxes_answered = stop_answering_boxes();
        return exit_code;
    }

    int simulator_exit() { return wait_process(simulator, 20); }

    // The shipped skv.ini with one line replaced.
    void change_settings(const std::string& line, const std::string& replacement) {
        std::string text = read_file((work / "skv.ini").string());
        std::size_t at = text.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        text.replace(at, line.size(), replacement);
        std::ofstream(work / "skv.ini", std::ios::binary | std::ios::trunc) << text;
    }

    bool program_connected() {
        for (const auto& line : record())
            if (line.kind == "connect") return true;
        return false;
    }
    std::vector<record_line> record() { return parse_record(read_file((work / "record.tsv").string())); }
    // What the desktop showed: message boxes (on Linux in standard error).
    std::string program_errors() { return boxes_answered + read_file((work / "skarvo.err").string()); }

    fs::path work;
    child_process simulator;
    std::string boxes_answered;
};

TEST_F(end_to_end, start_up_text_then_the_quit_gesture_and_both_exit_0) {
    start_simulator("time 11:00:00\nposition 47.5 11.2\naltitude 1500\n" + quit_at(5));
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    auto r = record();
    auto texts = texts_of(r);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].detail, "10 s: Skarvo 2004 - version 3.2.  Initialization complete.");
    EXPECT_EQ(texts[1].detail, "5 s: To quit Skarvo 2004, press TAB-F12 now.");
    EXPECT_EQ(texts[2].detail, "5 s: Skarvo 2004 is no longer running.");
    bool registered = false;
    for (const auto& line : r) registered |= line.kind == "client-version" && line.detail == "1004";
    EXPECT_TRUE(registered);
    EXPECT_EQ(program_errors(), "");
    std::string shown = read_file((work / "sim.out").string());
    EXPECT_NE(shown.find("connect: a client connected"), std::string::npos);
    EXPECT_NE(shown.find("Initialization complete."), std::string::npos);
}

TEST_F(end_to_end, the_second_window_class_serves_as_well) {
    start_simulator(quit_at(5), "FS98MAIN");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_EQ(texts_of(record()).size(), 3u);
}

TEST_F(end_to_end, no_simulator_gives_one_box_and_exit_0) {
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(program_errors(),
              "[message box] Skarvo: Failed to open link to FSUIPC.\n"
              "Cannot link to FSUIPC.\n\nMake sure FS is running, and try again.\n"
              "[end]\n");
}

#if !defined(_WIN32)
// A link folder that other users may enter is refused by the stand-in
// (exit 2) and by the program (no window: its link box, exit 0), each
// naming the folder and what is wrong.
TEST_F(end_to_end, a_link_folder_open_to_other_users_is_refused_by_both_sides) {
    fs::permissions(work / "ipc", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                      fs::perms::others_read | fs::perms::others_exec);
    std::ofstream(work / "test.scn") << quit_at(5);
    simulator = start_process(SKARVO_SIM_PATH, {"--scenario", "test.scn", "--wall-limit", "10"}, work.string(),
                              (work / "sim.out").string(), (work / "sim.err").string());
    EXPECT_EQ(simulator_exit(), 2);
    std::string folder = (work / "ipc").string();
    EXPECT_EQ(read_file((work / "sim.err").string()),
              "skarvo-sim: the link folder " + folder + " is open to other users (mode 755); it is not used\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(program_errors(), "[message box] Skarvo: link folder refused\nThe link folder " + folder +
                                    " is open to other users (mode 755). It is not used.\n[end]\n"
                                    "[message box] Skarvo: Failed to open link to FSUIPC.\n"
                                    "Cannot link to FSUIPC.\n\nMake sure FS is running, and try again.\n[end]\n");
}
#endif

TEST_F(end_to_end, paused_at_start_waits_for_three_sim_seconds_after_the_un_pause) {
    start_simulator("paused yes\ntime 12:00:00\nclock lock-step 0.1\nat 2 unpause\n" + quit_at(10));
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    auto r = record();
    auto texts = texts_of(r);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].detail, "5 s: Please un-pause Flight Simulator for initialization to complete.");
    EXPECT_EQ(texts[1].detail, "10 s: Skarvo 2004 - version 3.2.  Initialization complete.");
    double unpaused_at = -1;
    for (const auto& line : r)
        if (line.kind == "unpause") unpaused_at = line.session_seconds;
    ASSERT_GE(unpaused_at, 2.0);
    EXPECT_LT(texts[0].session_seconds, unpaused_at);
    EXPECT_GE(texts[1].session_seconds, unpaused_at + 3.0);
    EXPECT_GE(texts[1].clock, "12:00:03");
}

TEST_F(end_to_end, a_simulator_vanishing_mid_session_ends_the_program_with_0) {
    start_simulator("paused yes\nclock lock-step 0.1\nat 1 stop\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_EQ(texts_of(record()).size(), 1u);
    EXPECT_EQ(program_errors(), "");
}

TEST_F(end_to_end, a_climb_in_a_house_thermal_ends_when_the_simulator_vanishes) {
    start_simulator("time 13:30:00\nposition 47.3071 11.3789\naltitude 2000\nground 580\nclouds 2400 9\nat 30 stop\n");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    double strongest = 0;
    for (const auto& line : record())
        if (line.kind == "vas") strongest = std::max(strongest, std::atof(line.detail.c_str()));
    EXPECT_GT(strongest, 1.0);  // the Nordkette house thermal of the shipped settings
    EXPECT_EQ(program_errors(), "");
}

// The greatest climb the pilot made after it first reported `found` (the
// finder's hint, a cloud); 0 when it never did.
template <typename lines>
double best_climb_after(const lines& record, const char* found) {
    bool seen = false;
    double best = 0;
    for (const auto& line : record) {
        if (line.kind != "pilot") continue;
        seen |= line.detail.rfind(found, 0) == 0;
        double metres = 0;
        if (seen && std::sscanf(line.detail.c_str(), "leaving (%*[^)]): climbed %lf m", &metres) == 1)
            best = std::max(best, metres);
    }
    return best;
}

// The stand-in's pilot asks the finder, glides to a thermal and climbs in
// it. The program's random seed is fixed, so the flight is the same each time.
TEST_F(end_to_end, the_soaring_pilot_finds_a_thermal_with_the_finder_and_climbs_300_m) {
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows build takes its seed from the real clock";
#else
    setenv("SKARVO_CLOCK", "2000", 1);
    start_simulator("time 13:20:00\nposition 47.26 11.35\naltitude 1500\nground 580\nwind 250 6\n"
                    "clouds 2400 9\nmotion 0 60\npilot auto\n" + quit_at(1500));
    EXPECT_EQ(run_program(), 0);
    unsetenv("SKARVO_CLOCK");
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_GE(best_climb_after(record(), "heading for a thermal"), 300);
#endif
}

// With the thermals published, the pilot sees a cumulus over each and finds
// its climb by them alone, in a 12-knot wind that leans the columns far
// downwind: no finder key pressed.
TEST_F(end_to_end, the_soaring_pilot_finds_a_thermal_by_its_cloud_in_a_12_knot_wind_and_climbs_300_m) {
#if defined(_WIN32)
    GTEST_SKIP() << "the Windows build takes its seed from the real clock";
#else
    change_settings("Publish thermals for companion programs (0/1): 0", "Publish thermals for companion programs (0/1): 1");
    setenv("SKARVO_CLOCK", "2000", 1);
    start_simulator("time 13:20:00\nposition 47.26 11.35\naltitude 1500\nground 580\nwind 250 12\n"
                    "clouds 2400 9\nmotion 0 60\npilot auto clouds\n" + quit_at(1500));
    EXPECT_EQ(run_program(), 0);
    unsetenv("SKARVO_CLOCK");
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_GE(best_climb_after(record(), "heading for a cloud"), 300);
    for (const auto& line : record())
        EXPECT_FALSE(line.kind == "text" && line.detail.find("thermal is") != std::string::npos) << line.detail;
#endif
}

// What the shared file is for: two pilots flying from one file at the same
// sim time and place meet the same thermals, across minute changes and a
// clock set back.
TEST_F(end_to_end, two_pilots_flying_from_one_file_hear_the_same_finder_answers) {
    change_settings("Program mode: 0", "Program mode: 2");
    change_settings("Thermal source (0-2): 0", "Thermal source (0-2): 2");
    EXPECT_EQ(run_program(), 0);
    ASSERT_TRUE(fs::exists(work / "skv-multi.dat")) << program_errors();
    change_settings("Program mode: 2", "Program mode: 1");
    std::string scenario =
        "time 13:00:00\nposition 47.25 11.5\naltitude 1800\nclimb off\nwind 250 6\nclouds 2400 9\nmotion 30 90\n";
    for (int t = 10; t < 300; t += 20)
        scenario += "at " + std::to_string(t) + " key w\nat " + std::to_string(t + 2) + " key e\n";
    scenario += "at 150 clock 12:58:30\n" + quit_at(320);
    std::vector<std::string> answers[2];
    for (auto& heard : answers) {
        start_simulator(scenario);
        EXPECT_EQ(run_program(), 0);
        EXPECT_EQ(simulator_exit(), 0);
        for (const auto& line : record())
            if (line.kind == "text") heard.push_back(line.clock + " " + line.detail);
    }
    EXPECT_EQ(answers[0], answers[1]);
    EXPECT_GE(answers[0].size(), 30u);
    EXPECT_TRUE(std::any_of(answers[0].begin(), answers[0].end(),
                            [](const std::string& a) { return a.find("mile(s) away") != std::string::npos; }));
}

TEST_F(end_to_end, a_missing_settings_file_gives_one_box_and_a_flight_with_the_defaults) {
    fs::remove(work / "skv.ini");
    start_simulator(quit_at(5));
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_EQ(program_errors(),
              "[message box] 'skv.ini' file error...\nFile does not exist.\n\nUsing default settings.\n[end]\n");
    EXPECT_EQ(texts_of(record()).size(), 3u);
}

TEST_F(end_to_end, a_faulty_settings_file_shows_its_boxes_in_file_order_and_the_flight_goes_on) {
    change_settings("Weak surface layer height: 1000", "Weak surface layer height: 5000");
    change_settings("Thermal duration from 15 to 25", "Thermal duration from 5 to 20");
    start_simulator(quit_at(5));
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(simulator_exit(), 0);
    EXPECT_EQ(program_errors(),
              "[message box] Error in 'skv.ini'\n"
              "Illegal value (5000) for 'Weak Surface Layer Height'.\nUsing default value of 1000.\n[end]\n"
              "[message box] 'skv.ini' error...\n"
              "Minimum 'Thermal Duration' cannot be less than 10 minutes.\n\nchanging range to 15-25 minutes\n[end]\n");
    EXPECT_EQ(texts_of(record()).size(), 3u);
}

TEST_F(end_to_end, multi_player_mode_without_its_file_ends_before_any_link_traffic) {
    change_settings("Program mode: 0", "Program mode: 1");
    start_simulator("");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(program_errors(),
              "[message box] Error opening file 'skv-multi.dat'...\n"
              "SKV is in multi-player mode, but the multi-player data file cannot be found.\n\nExiting...\n[end]\n");
    EXPECT_EQ(wait_process(simulator, 0.5), -1);  // still waiting for a client
    EXPECT_FALSE(program_connected());
}

TEST_F(end_to_end, a_tool_mode_with_a_bad_edge_says_so_and_ends) {
    change_settings("Run terrain scan: 0", "Run terrain scan: 1");
    change_settings("Northernmost latitude: 47.5", "Northernmost latitude: 95");
    start_simulator("");
    EXPECT_EQ(run_program(), 0);
    EXPECT_EQ(program_errors(),
              "[message box] 'skv.ini' setting error...\n'Northernmost Latitude' outside acceptable range\n[end]\n"
              "[message box] Error(s) in 'skv.ini'\nThe SKV topo data file was not created.\n[end]\n");
    EXPECT_EQ(wait_process(simulator, 0.5), -1);
    EXPECT_FALSE(program_connected());
}

}  // namespace
