// The state folder against what a careful engineer's tools survive: standard descriptors
// closed, a full disk, named pipes where the state keeps files, a --syslog aimed at the state's
// own files, and the temporaries a kill leaves. Nothing the simulator prints lands in the state,
// nothing hangs, and a broken state is named, never left damaged.
//
// The full disk is injected through the storage layer's write path (set_disk_space_for_tests):
// a small tmpfs needs root and a mount namespace, which not every machine that runs the suite
// gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/card/installed_card.h"
#include "sim/storage/atomic_file.h"
#include "support/run_sim.h"
#include "support/sim_card.h"
#include "support/text_file.h"

namespace kmb::test {
namespace {

namespace fs = std::filesystem;

constexpr double kWallLimitS = 60; // nothing here takes a second; more is a hang

// A run on the card in `state`, killed should it hang.
SimRun run_card(const fs::path& state, const std::string& input, std::vector<std::string> more = {},
                const std::vector<int>& closed = {})
{
    return run_sim(card_args(state.string(), std::move(more)), input, InputEnd::Close, closed, kWallLimitS);
}

TEST(StateRobustness, ClosedStandardDescriptorsNeverBecomeStateFiles)
{
    for (const std::vector<int>& closed : {std::vector<int>{1}, {0}, {2}, {0, 1}, {1, 2}, {0, 1, 2}}) {
        std::string what = "closed:";
        for (int fd : closed) {
            what += " " + std::to_string(fd);
        }
        SCOPED_TRACE(what);
        TempDir state;
        // Twice: the second start reads what the first left.
        for (int run = 0; run < 2; ++run) {
            const SimRun r = run_card(state.path(), "all\nexit\n", {}, closed);
            ASSERT_FALSE(r.timed_out);
            EXPECT_EQ(r.exit_status, 1) << r.err;
            const bool in_closed = std::find(closed.begin(), closed.end(), 0) != closed.end();
            const bool out_closed = std::find(closed.begin(), closed.end(), 1) != closed.end();
            if (in_closed && !out_closed) {
                // No operator: the first prompt meets the end of input; no test runs.
                EXPECT_EQ(r.out.find("Performing comprehensive test"), std::string::npos) << r.out;
            }
        }
        for (const auto& [path, text] : files_under(state.path())) {
            EXPECT_EQ(text.find("KMB diagnostic menu"), std::string::npos) << path << " took the console's text";
            EXPECT_EQ(text.find("kmbdiag-sim"), std::string::npos) << path << " took the simulator's complaints";
        }
        EXPECT_EQ(read_text(state.path() / "lock"), "");
    }
}

TEST(StateRobustness, AFirstStartOnAFullDiskLeavesNoEmptyVersion)
{
    TempDir state;
    sim::SimConfig config;
    config.state_dir = state.path().string();
    config.speed = 0;
    config.start_time = kTestEpoch;
    sim::set_disk_space_for_tests(2); // the disk fills within the version's text
    std::string refused;
    try {
        sim::InstalledCard card(config, sim::InstalledCard::Lock::StateFolder);
    } catch (const std::runtime_error& e) {
        refused = e.what();
    }
    sim::set_disk_space_for_tests(-1);
    EXPECT_NE(refused.find("fs/etc/version' cannot be written: "), std::string::npos) << refused;
    EXPECT_NE(refused.find(std::strerror(ENOSPC)), std::string::npos) << refused;
    EXPECT_FALSE(fs::exists(state.path() / "fs/etc/version")) << "a half-written version: '"
                                                               << read_text(state.path() / "fs/etc/version") << "'";
    for (const auto& e : fs::recursive_directory_iterator(state.path())) {
        EXPECT_FALSE(sim::is_partial_file(e.path().filename().string())) << e.path() << " was left";
    }
    // The disk has room again: the next start ships the version as a new card does.
    const SimRun r = run_card(state.path(), "exit\n");
    EXPECT_EQ(r.exit_status, 1) << r.err;
    EXPECT_NE(r.out.find("(version 3.2.0)"), std::string::npos);
    EXPECT_EQ(read_text(state.path() / "fs/etc/version"), "3.2.0\n");
}

TEST(StateRobustness, AFullDiskKeepsTheOldStateWhole)
{
    TempDir state;
    const fs::path file = state.path() / "fw_env";
    write_text(file, "serial#=KMB-S0000042\n");
    for (long long room : {0LL, 1LL, 10LL}) {
        SCOPED_TRACE(room);
        sim::set_disk_space_for_tests(room);
        errno = 0;
        const bool replaced = sim::replace_file(file, "serial#=KMB-S0000001\npart#=1234\n");
        const int why = errno;
        sim::set_disk_space_for_tests(-1);
        EXPECT_FALSE(replaced);
        EXPECT_EQ(why, ENOSPC);
        EXPECT_EQ(read_text(file), "serial#=KMB-S0000042\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(state.path()), fs::directory_iterator()), 1)
            << "a temporary was left";
    }
}

TEST(StateRobustness, ANamedPipeInTheStateIsNamedAndNeverWaitedOn)
{
    struct Case {
        const char* file;   // relative to the state folder
        int exit_status;    // 2: the start refuses the state; 1: the run goes on without the file
        const char* named;  // what standard error says of it
    };
    const Case cases[] = {
        {"syslog", 2, "syslog' is not a regular file"},
        {"fw_env", 2, "fw_env' is not a file"},
        {"cpld", 2, "cpld' is not a file"},
        {"counter_agent", 2, "counter_agent' is not a file"},
        {"lock", 2, "lock' is not a regular file"},
        {"fs/mnt/logs/diagwd", 1, "fs/mnt/logs/diagwd' is not a regular file"},
        {"fs/mnt/logs/diagpri", 1, "fs/mnt/logs/diagpri' is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir state;
        const fs::path pipe = state.path() / c.file;
        fs::create_directories(pipe.parent_path());
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
        const SimRun r = run_card(state.path(), "kmb\n13\nn\n99\nexit\n");
        ASSERT_FALSE(r.timed_out) << "the simulator waited on the named pipe";
        EXPECT_EQ(r.exit_status, c.exit_status) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(c.named), r.err.rfind(c.named)) << "told more than once: " << r.err;
        struct stat st{};
        EXPECT_EQ(::lstat(pipe.c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the operator's pipe was replaced";
    }
}

TEST(StateRobustness, ASyslogAimedAtTheStatesOwnFilesIsRefused)
{
    TempDir top;
    const fs::path state = top.path() / "card";
    const fs::path outside = top.path() / "outside";
    fs::create_directories(outside);
    // A first start lays the state out.
    ASSERT_EQ(run_card(state, "exit\n").exit_status, 1);
    write_text(state / "fw_env", "serial#=KMB-S0000042\n");
    fs::create_hard_link(state / "fw_env", outside / "hard-link");
    fs::create_symlink(state / "cpld", outside / "soft-link");
    write_text(state / "cpld", std::string(1, '\0'));
    struct Case {
        const char* what;
        fs::path syslog;
    };
    const Case cases[] = {
        {"the environment", state / "fw_env"},
        {"the environment by another name", state / "." / "fw_env"},
        {"a hard link to the environment", outside / "hard-link"},
        {"a link to the CPLD's byte", outside / "soft-link"},
        {"the lock", state / "lock"},
        {"the card's version", state / "fs/etc/version"},
        {"a new file of the card's logs", state / "fs/mnt/logs/messages"},
        {"the counter agent's registers, not yet made", state / "counter_agent"},
        {"the state folder itself", state},
    };
    const auto before = files_under(state);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SimRun r = run_card(state, "kmb\n3\n99\nexit\n", {"--syslog", c.syslog.string()});
        EXPECT_EQ(r.exit_status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("kmbdiag-sim: --syslog '" + c.syslog.string() + "' is "), std::string::npos) << r.err;
        EXPECT_EQ(files_under(state), before);
        EXPECT_FALSE(fs::exists(state / "fs/mnt/logs/messages"));
    }
    // The state's own log, by its name or another, and a log outside are the operator's to choose.
    for (const fs::path& log : {state / "syslog", state / "." / "syslog", outside / "card.log"}) {
        SCOPED_TRACE(log);
        const SimRun r = run_card(state, "exit\n", {"--syslog", log.string()});
        EXPECT_EQ(r.exit_status, 1) << r.err;
    }
}

TEST(StateRobustness, AStartRemovesTheTemporariesAKillLeft)
{
    TempDir state;
    ASSERT_EQ(run_card(state.path(), "exit\n").exit_status, 1);
    const fs::path left[] = {state.path() / "fw_env.partial-Ab3dE9", state.path() / "cpld.partial-000000",
                             state.path() / "counter_agent.partial-zzzzzz", state.path() / "fs/etc/version.partial-q1w2e3"};
    for (const fs::path& p : left) {
        write_text(p, "half");
    }
    // Not the writer's: kept.
    const fs::path kept[] = {state.path() / "notes.partial-toolong", state.path() / "fs/mnt/logs/run.partial-",
                             state.path() / "fs/mnt/logs/keep"};
    for (const fs::path& p : kept) {
        write_text(p, "mine");
    }
    const SimRun r = run_card(state.path(), "exit\n");
    EXPECT_EQ(r.exit_status, 1) << r.err;
    for (const fs::path& p : left) {
        EXPECT_FALSE(fs::exists(p)) << p;
    }
    for (const fs::path& p : kept) {
        EXPECT_EQ(read_text(p), "mine") << p;
    }
}

} // namespace
} // namespace kmb::test
