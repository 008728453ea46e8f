// The link client against the stand-in simulator on the real transport, and
// with failures injected through the platform's call table.
#include "in_process_sim.h"

#include "platform/platform.h"
#include "simlink/link.h"
#include "simlink/offsets.h"

#include <cstring>
#include <filesystem>
#include <fstream>

#if !defined(_WIN32)
#include "platform/posix_ipc_dir.h"
#endif

namespace fs = std::filesystem;

namespace {

int sends = 0;
int sleeps = 0;
int failures_left = 0;           // sends that fail before the real one runs
std::uint32_t failure_error = 0;  // last error those sends leave
std::int32_t forced_answer = 1;

bool failing_send(platform_handle w, std::uint32_t m, std::uint32_t wp, std::uint32_t lp, std::uint32_t t,
                  std::int32_t* r) {
    ++sends;
    if (failures_left > 0) {
        --failures_left;
        set_last_error(failure_error);
        return false;
    }
    return platform_system_calls().send_message(w, m, wp, lp, t, r);
}

bool answering_send(platform_handle, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t* r) {
    ++sends;
    *r = forced_answer;
    return true;
}

void counted_sleep(std::uint32_t) { ++sleeps; }

class link_test : public in_process_sim {
protected:
    void SetUp() override {
        in_process_sim::SetUp();
        sends = sleeps = failures_left = 0;
        failure_error = 0;
        forced_answer = 1;
        platform_calls.sleep_ms = counted_sleep;
    }
    void TearDown() override {
        platform_restore_calls();
        in_process_sim::TearDown();
    }
    void open_checked_link() {
        ASSERT_TRUE(link_open(0, &result));
        ASSERT_EQ(result, link_ok);
    }
    std::int32_t result = -1;
};

TEST_F(link_test, handshake_registers_the_client_and_keeps_the_sim_version) {
    start_server();
    open_checked_link();
    EXPECT_EQ(fsuipc_version, sim::world.fsuipc_version);
    EXPECT_EQ(simulator_version, 7u);
    EXPECT_EQ(sim::world.client_version_id, 1004);
    EXPECT_EQ(sleeps, 1);  // one attempt was enough

    // The marker survives the client's write, so a second handshake works.
    link_close();
    open_checked_link();
}

TEST_F(link_test, reads_and_writes_travel_in_one_batch_in_queue_order) {
    load_scenario("altitude 1234\ntime 23:59:59\n");
    start_server();
    open_checked_link();
    std::int32_t altitude = 0;
    signed char clock[3] = {};
    double first = 1.5, second = -2.25;
    ASSERT_TRUE(link_write(off_vertical_air_write.offset, 8, &first, &result));
    ASSERT_TRUE(link_write(off_vertical_air_write.offset, 8, &second, &result));
    ASSERT_TRUE(link_read(off_altitude.offset, 4, &altitude, &result));
    ASSERT_TRUE(link_read(off_time_of_day.offset, 3, clock, &result));
    ASSERT_TRUE(link_process(&result));
    EXPECT_EQ(altitude, 1234);
    EXPECT_EQ(clock[0] * 3600 + clock[1] * 60 + clock[2], 86399);
    EXPECT_EQ(sim::world.vertical_air_speed, -2.25);
    EXPECT_EQ(sim::world.vertical_air_writes, 2u);
}

TEST_F(link_test, several_reads_into_one_destination_leave_the_last) {
    load_scenario("altitude 500\nground 321\n");
    start_server();
    open_checked_link();
    std::int32_t value = 0;
    link_read(off_altitude.offset, 4, &value, &result);
    link_read(off_ground_elevation.offset, 2, &value, &result);
    ASSERT_TRUE(link_process(&result));
    EXPECT_EQ(value & 0xFFFF, 321);
}

TEST_F(link_test, null_destination_and_zero_length_reads_are_sent_and_skipped) {
    load_scenario("altitude 777\n");
    start_server();
    open_checked_link();
    std::int32_t altitude = 0, untouched = 42;
    ASSERT_TRUE(link_read(off_altitude.offset, 4, nullptr, &result));
    ASSERT_TRUE(link_read(off_altitude.offset, 0, &untouched, &result));
    ASSERT_TRUE(link_read(off_altitude.offset, 4, &altitude, &result));
    ASSERT_TRUE(link_process(&result));
    EXPECT_EQ(result, link_ok);
    EXPECT_EQ(untouched, 42);
    EXPECT_EQ(altitude, 777);
}

TEST_F(link_test, capacity_boundary_is_exact_and_a_refusal_leaves_the_batch) {
    start_server();
    open_checked_link();
    static unsigned char big[link_usable_bytes];
    std::int32_t small = 0;
    ASSERT_TRUE(link_read(off_altitude.offset, 4, &small, &result));
    std::uint32_t queued = link_queued_bytes();
    std::uint32_t fitting = link_usable_bytes - queued - 4 - 16;

    EXPECT_FALSE(link_read(0x1000, fitting + 1, big, &result));
    EXPECT_EQ(result, link_area_full);
    EXPECT_FALSE(link_write(0x1000, fitting + 5, big, &result));
    EXPECT_EQ(result, link_area_full);
    EXPECT_EQ(link_queued_bytes(), queued);

    EXPECT_TRUE(link_read(0x1000, fitting, big, &result));
    EXPECT_EQ(link_queued_bytes() + 4, link_usable_bytes);
    EXPECT_FALSE(link_read(0x1000, 0, nullptr, &result));
    EXPECT_TRUE(link_process(&result));
}

TEST_F(link_test, calls_without_an_open_link_or_without_requests_fail_cleanly) {
    std::int32_t value = 0;
    EXPECT_FALSE(link_read(0x0238, 3, &value, &result));
    EXPECT_EQ(result, link_not_open);
    EXPECT_FALSE(link_write(0x0238, 3, &value, &result));
    EXPECT_EQ(result, link_not_open);
    EXPECT_FALSE(link_process(&result));
    EXPECT_EQ(result, link_not_open);
    link_close();  // harmless when closed

    start_server();
    open_checked_link();
    int sent_before = sends;
    platform_calls.send_message = failing_send;
    EXPECT_FALSE(link_process(&result));
    EXPECT_EQ(result, link_nothing_queued);
    EXPECT_EQ(sends, sent_before);
}

TEST_F(link_test, a_second_open_is_refused_and_the_first_link_keeps_working) {
    load_scenario("altitude 900\n");
    start_server();
    open_checked_link();
    EXPECT_FALSE(link_open(0, &result));
    EXPECT_EQ(result, link_already_open);
    std::int32_t altitude = 0;
    link_read(off_altitude.offset, 4, &altitude, &result);
    EXPECT_TRUE(link_process(&result));
    EXPECT_EQ(altitude, 900);
}

TEST_F(link_test, no_server_window) {
    EXPECT_FALSE(link_open(0, &result));
    EXPECT_EQ(result, link_no_server);
    EXPECT_STREQ(link_result_text(result), "Cannot link to FSUIPC.\n\nMake sure FS is running, and try again.");
}

struct version_case {
    const char* scenario;
    const char* window_class;
    std::uint32_t requested;
    std::int32_t expected;
};

class link_version_test : public link_test, public ::testing::WithParamInterface<version_case> {};

TEST_P(link_version_test, handshake_outcome) {
    const version_case& c = GetParam();
    load_scenario(c.scenario);
    start_server(c.window_class);
    EXPECT_EQ(link_open(c.requested, &result), c.expected == link_ok);
    EXPECT_EQ(result, c.expected);
    std::int32_t value = 0;
    EXPECT_EQ(link_read(0x0238, 3, &value, &result), c.expected == link_ok);  // a refusal leaves it closed
}

INSTANTIATE_TEST_SUITE_P(
    versions, link_version_test,
    ::testing::Values(version_case{"fsuipc-version 0x19980005\n", "UIPCMAIN", 0, link_ok},
                      version_case{"fsuipc-version 0x19980004\n", "UIPCMAIN", 0, link_wrong_version},
                      version_case{"fsuipc-version 0x19980004\n", "FS98MAIN", 0, link_wideclient},
                      version_case{"", "FS98MAIN", 0, link_ok},
                      version_case{"sim-version 7\n", "UIPCMAIN", 7, link_ok},
                      version_case{"sim-version 7\n", "UIPCMAIN", 8, link_wrong_sim}),
    [](const ::testing::TestParamInfo<version_case>& p) { return "case_" + std::to_string(p.index); });

TEST_F(link_test, failed_sends_are_retried_nine_times) {
    start_server();
    open_checked_link();
    std::int32_t value = 0;
    platform_calls.send_message = failing_send;

    failures_left = 2;
    failure_error = error_timeout;
    link_read(off_altitude.offset, 4, &value, &result);
    EXPECT_TRUE(link_process(&result));
    EXPECT_EQ(sends, 3);

    struct {
        std::uint32_t error;
        std::int32_t code;
    } outcomes[] = {{error_timeout, link_send_failed}, {error_invalid_window_handle, link_send_failed}, {0, link_timed_out}};
    for (auto o : outcomes) {
        platform_calls.send_message = platform_system_calls().send_message;
        link_close();
        open_checked_link();
        platform_calls.send_message = failing_send;
        sends = sleeps = 0;
        failures_left = 100;
        failure_error = o.error;
        value = 5;
        link_read(off_altitude.offset, 4, &value, &result);
        EXPECT_FALSE(link_process(&result));
        EXPECT_EQ(result, o.code);
        EXPECT_EQ(sends, 9);
        EXPECT_EQ(sleeps, 9);
        EXPECT_EQ(value, 5);  // nothing copied back
        // The batch is gone with the failure.
        EXPECT_FALSE(link_process(&result));
        EXPECT_EQ(result, link_nothing_queued);
        // A window that has gone is not waited for again; a batch that only
        // timed out is lost and the next one is tried afresh.
        link_read(off_altitude.offset, 4, &value, &result);
        EXPECT_FALSE(link_process(&result));
        EXPECT_EQ(result, o.code);
        EXPECT_EQ(sends, o.error == error_invalid_window_handle ? 9 : 18);
        failures_left = 0;
        link_read(off_altitude.offset, 4, &value, &result);
        EXPECT_EQ(link_process(&result), o.error != error_invalid_window_handle);
    }
}

TEST_F(link_test, an_answer_other_than_1_is_bad_data_and_loses_the_batch) {
    start_server();
    open_checked_link();
    platform_calls.send_message = answering_send;
    forced_answer = 0;
    std::int32_t value = 5;
    link_read(off_altitude.offset, 4, &value, &result);
    EXPECT_FALSE(link_process(&result));
    EXPECT_EQ(result, link_bad_data);
    EXPECT_EQ(value, 5);
    EXPECT_FALSE(link_process(&result));
    EXPECT_EQ(result, link_nothing_queued);
}

TEST_F(link_test, a_real_server_vanishing_gives_code_12) {
    start_server();
    open_checked_link();
    stop_server();
    std::int32_t value = 0;
    link_read(off_altitude.offset, 4, &value, &result);
    EXPECT_FALSE(link_process(&result));
    EXPECT_EQ(result, link_send_failed);
}

// ---- failures while opening ----------------------------------------------

platform_handle existing_mapping(const char* name, std::uint32_t size) {
    platform_handle h = platform_system_calls().create_mapping(name, size);
    set_last_error(error_already_exists);
    return h;
}
platform_handle no_mapping(const char*, std::uint32_t) { return 0; }
void* no_view(platform_handle) { return nullptr; }
std::uint16_t no_atom(const char*) { return 0; }
std::uint32_t no_message(const char*) { return 0; }

int mappings_closed = 0;
void counting_close(platform_handle h) {
    ++mappings_closed;
    platform_system_calls().close_mapping(h);
}

TEST_F(link_test, each_failing_step_of_open_has_its_code_and_leaves_the_link_closed) {
    start_server();
    struct {
        void (*inject)();
        std::int32_t code;
    } steps[] = {
        {[] { platform_calls.register_message = no_message; }, link_register_failed},
        {[] { platform_calls.add_atom = no_atom; }, link_atom_failed},
        {[] { platform_calls.create_mapping = no_mapping; }, link_mapping_failed},
        {[] { platform_calls.create_mapping = existing_mapping; }, link_mapping_failed},
        {[] { platform_calls.map_view = no_view; }, link_view_failed},
    };
    for (auto step : steps) {
        platform_restore_calls();
        platform_calls.sleep_ms = counted_sleep;
        platform_calls.close_mapping = counting_close;
        mappings_closed = 0;
        step.inject();
        EXPECT_FALSE(link_open(0, &result));
        EXPECT_EQ(result, step.code);
        std::int32_t value = 0;
        EXPECT_FALSE(link_read(0x0238, 3, &value, &result));
        EXPECT_EQ(result, link_not_open);
    }
    EXPECT_EQ(mappings_closed, 1);  // the existing mapping's handle was given back

    platform_restore_calls();
    platform_calls.sleep_ms = counted_sleep;
    open_checked_link();  // and a later open succeeds
}

TEST_F(link_test, handshake_process_failure_returns_its_code) {
    start_server();
    platform_calls.send_message = answering_send;
    forced_answer = 0;
    EXPECT_FALSE(link_open(0, &result));
    EXPECT_EQ(result, link_bad_data);

    forced_answer = 1;  // answers, but never fills the versions in
    sends = 0;
    EXPECT_FALSE(link_open(0, &result));
    EXPECT_EQ(result, link_wrong_version);
    EXPECT_EQ(sends, 5);
}

TEST(link_texts, every_code_has_its_text) {
    EXPECT_STREQ(link_result_text(0), "Okay");
    EXPECT_STREQ(link_result_text(9), "Call cannot execute, link not Open");
    EXPECT_STREQ(link_result_text(15), "Read or Write request cannot be added, memory for Process is full");
    EXPECT_STREQ(link_result_text(16), "Unknown error");
    EXPECT_STREQ(link_result_text(-1), "Unknown error");
}

}  // namespace

// ---- the system's own primitives ------------------------------------------

namespace {

class primitives_test : public in_process_sim {
protected:
    void TearDown() override {
        if (window) forget_window(window);
        in_process_sim::TearDown();
    }
    platform_handle window = 0;
};

TEST_F(primitives_test, a_late_answer_times_out_and_is_dropped_when_it_comes) {
    load_scenario("answer-delay 600\n");
    start_server();
    window = find_window("UIPCMAIN");
    ASSERT_NE(window, 0);
    std::uint32_t msg = register_message("FsasmLib:IPC");
    std::int32_t answer = 7;
    EXPECT_FALSE(send_message(window, msg, 0, 0, 150, &answer));
    EXPECT_EQ(last_error(), error_timeout);
    EXPECT_EQ(answer, 7);
    // The late answer (0: no area named) must not be taken for the next one.
    EXPECT_TRUE(send_message(window, msg + 1, 0, 0, 5000, &answer));
    EXPECT_EQ(answer, 0);
}

TEST_F(primitives_test, a_window_that_vanished_fails_at_once) {
    start_server();
    window = find_window("UIPCMAIN");
    ASSERT_NE(window, 0);
    stop_server();
    std::int32_t answer = 0;
    EXPECT_FALSE(send_message(window, register_message("FsasmLib:IPC"), 0, 0, 2000, &answer));
    EXPECT_EQ(last_error(), error_invalid_window_handle);
}

TEST_F(primitives_test, a_mapping_name_already_in_use_gives_code_5) {
    start_server();
    char name[64];
    std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X", process_id(), link_open_count() + 1);
    platform_handle squatter = create_mapping(name, 64);
    ASSERT_NE(squatter, 0);
    std::int32_t result = 0;
    EXPECT_FALSE(link_open(0, &result));
    EXPECT_EQ(result, link_mapping_failed);
    close_mapping(squatter);
    EXPECT_TRUE(link_open(0, &result));  // the next open names a new area
}

#if !defined(_WIN32)
// The link's folder on Linux must be a real folder of the user's, closed
// to everyone else.
TEST(link_folder, only_a_real_folder_of_the_users_closed_to_others_is_fit) {
    fs::path root = make_temp_folder("skarvo-link-folder");
    fs::create_directory(root / "fit");
    fs::permissions(root / "fit", fs::perms::owner_all);
    fs::create_directory_symlink(root / "fit", root / "link");
    std::ofstream(root / "file") << "x";
    fs::create_directory(root / "shared");
    fs::permissions(root / "shared", fs::perms::owner_all | fs::perms::group_all);
    EXPECT_EQ(posix_ipc::directory_fault((root / "fit").string()), "");
    EXPECT_EQ(posix_ipc::directory_fault((root / "link").string()), "is a symbolic link, not a folder");
    EXPECT_EQ(posix_ipc::directory_fault((root / "file").string()), "is not a folder");
    EXPECT_EQ(posix_ipc::directory_fault((root / "shared").string()), "is open to other users (mode 770)");
    if (geteuid() == 0) {
        fs::create_directory(root / "theirs");
        fs::permissions(root / "theirs", fs::perms::owner_all);
        ASSERT_EQ(chown((root / "theirs").c_str(), 65534, 65534), 0);
        EXPECT_EQ(posix_ipc::directory_fault((root / "theirs").string()), "belongs to another user");
    }
    fs::remove_all(root);
}
#endif

}  // namespace
