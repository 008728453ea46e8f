// FlightGear, the bridge or the program dying mid-flight, as processes: the
// bridge skarvo-fg and the program against a property server of our own
// that stands in for FlightGear, its clock running in real time.
#include "fake_property_server.h"
#include "process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace {

using steady = std::chrono::steady_clock;

const char* const startup_text = "Skarvo 2004 - version 3.2.  Initialization complete.";

class dying_mid_flight : public ::testing::Test {
protected:
    void SetUp() override {
        work = make_temp_folder("skarvo-dying");
        ASSERT_FALSE(work.empty());
        fs::create_directory(work / "ipc");
        fs::permissions(work / "ipc", fs::perms::owner_all);
        fs::copy_file(SKARVO_INI_PATH, work / "skv.ini");
        use_ipc_folder((work / "ipc").string());
        const std::pair<const char*, const char*> flying[] = {
            {"/position/latitude-deg", "21.56"},     {"/position/longitude-deg", "-158.2"},
            {"/position/altitude-ft", "3300"},      {"/position/ground-elev-m", "7"},
            {"/sim/time/elapsed-sec", "100"},       {"/sim/time/local-day-seconds", "50400"},
            {"/environment/wind-speed-kt", "6"},    {"/environment/wind-from-heading-deg", "60"},
            {"/environment/magnetic-variation-deg", "10"}, {"/velocities/groundspeed-kt", "50"},
        };
        for (auto [p, v] : flying) fg.put(p, v);
        clock = std::thread([this] {
            for (auto start = steady::now(); ticking; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
                double flown = std::chrono::duration<double>(steady::now() - start).count();
                fg.put("/sim/time/elapsed-sec", std::to_string(100 + flown));
            }
        });
    }
    void TearDown() override {
        ticking = false;
        clock.join();
        wait_process(program, 0);
        wait_process(bridge, 0);
        std::error_code ignored;
        fs::remove_all(work, ignored);
    }

    void start_bridge(double minutes) {
        bridge = start_process(SKARVO_FG_PATH,
                               {"--fg-port", std::to_string(fg.port()), "--wait", "10", "--minutes",
                                std::to_string(minutes), "--igc", "flight.igc", "--map", "flight.svg"},
                               work.string(), (work / "bridge.out").string(), (work / "bridge.err").string());
        ASSERT_TRUE(wait_for_server_window((work / "ipc").string(), "UIPCMAIN", 20))
            << read_file((work / "bridge.err").string());
    }
    void start_program() {
        program = start_process(SKARVO_PATH, {}, work.string(), (work / "skarvo.out").string(),
                                (work / "skarvo.err").string());
    }
    // Until the program's start-up text has reached FlightGear `times` times.
    bool started_up(std::size_t times) {
        for (auto give_up = steady::now() + std::chrono::seconds(30); steady::now() < give_up;
             std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            std::size_t shown = 0;
            for (const auto& text : fg.sets_of("/sim/messages/copilot")) shown += text == startup_text;
            if (shown >= times) return true;
        }
        return false;
    }
    bool bridge_says(const std::string& words, double seconds) {
        for (auto give_up = steady::now() + std::chrono::duration<double>(seconds); steady::now() < give_up;
             std::this_thread::sleep_for(std::chrono::milliseconds(50)))
            if (read_file((work / "bridge.out").string()).find(words) != std::string::npos) return true;
        return false;
    }
    static bool still_running(const child_process& p) {
        int status = 0;
        return waitpid(static_cast<pid_t>(p.id), &status, WNOHANG) == 0;
    }
    static void kill_now(child_process& p) {
        kill(static_cast<pid_t>(p.id), SIGKILL);
        EXPECT_EQ(wait_process(p, 5), 128 + SIGKILL);
    }

    fs::path work;
    bridge::fake_property_server fg;
    std::atomic<bool> ticking{true};
    std::thread clock;
    child_process bridge, program;
};

TEST_F(dying_mid_flight, flightgear_killed_ends_the_bridge_and_the_program_and_the_flight_is_kept) {
    start_bridge(60);
    start_program();
    ASSERT_TRUE(started_up(1)) << read_file((work / "skarvo.err").string());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    fg.vanish();
    EXPECT_EQ(wait_process(bridge, 10), 0);
    EXPECT_EQ(wait_process(program, 2), 0);
    std::string said = read_file((work / "bridge.out").string());
    EXPECT_NE(said.find("skarvo-fg: FlightGear has gone"), std::string::npos) << said;
    EXPECT_NE(read_file((work / "flight.igc").string()).find("\nB"), std::string::npos) << said;
    EXPECT_NE(read_file((work / "flight.svg").string()).find("</svg>"), std::string::npos);
}

TEST_F(dying_mid_flight, the_bridge_killed_ends_the_program) {
    start_bridge(60);
    start_program();
    ASSERT_TRUE(started_up(1)) << read_file((work / "skarvo.err").string());
    kill_now(bridge);
    EXPECT_EQ(wait_process(program, 2), 0);
}

TEST_F(dying_mid_flight, the_program_killed_leaves_the_bridge_serving_and_a_new_one_flies_and_quits) {
    start_bridge(0.3);
    start_program();
    ASSERT_TRUE(started_up(1)) << read_file((work / "skarvo.err").string());
    kill_now(program);
    EXPECT_TRUE(bridge_says("serving on for the next", 5)) << read_file((work / "bridge.out").string());
    EXPECT_TRUE(still_running(bridge));
    std::size_t writes_before = fg.sets_of("/environment/local-weather-lift-fps").size();
    start_program();
    ASSERT_TRUE(started_up(2)) << read_file((work / "skarvo.err").string());
    EXPECT_EQ(wait_process(program, 30), 0) << read_file((work / "bridge.out").string());  // the quit gesture
    EXPECT_EQ(wait_process(bridge, 10), 0);
    EXPECT_GT(fg.sets_of("/environment/local-weather-lift-fps").size(), writes_before);
    EXPECT_NE(read_file((work / "flight.igc").string()).find("\nB"), std::string::npos);
    // FlightGear's status window followed the programs as they came and went.
    EXPECT_EQ(fg.sets_of("/skarvo/status/attached"), (std::vector<std::string>{"false", "true", "false", "true", "false"}));
}

}  // namespace
