// The state folder as an engineer who keeps it next to a bug report meets it: a broken folder
// is refused by name and left as it was, nothing outside it is touched, and one simulator at a
// time holds it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <sys/file.h>
#include <unistd.h>

#include "support/run_sim.h"
#include "support/sim_card.h"
#include "support/text_file.h"

namespace kmb::test {
namespace {

namespace fs = std::filesystem;

using MakeState = std::function<void(const fs::path& state, const fs::path& outside)>;

// A state whose boot loader environment holds `text`.
MakeState with_env(std::string text)
{
    return [text](const fs::path& s, const fs::path&) { write_text(s / "fw_env", text); };
}

TEST(StateFolder, ABrokenStateIsRefusedByNameAndLeftAsItWas)
{
    std::string full; // variables of 100 bytes each, more than the sector holds
    for (int i = 0; full.size() <= 8192; ++i) {
        full += "v" + std::to_string(1000 + i) + "=" + std::string(94, 'x') + "\n";
    }
    struct Case {
        const char* what;
        MakeState make;
        const char* named; // the part of the state the message names
        const char* why;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"a folder where the environment belongs",
         [](const fs::path& s, const fs::path&) { fs::create_directories(s / "fw_env"); }, "fw_env'", "is not a file",
         {}},
        {"an environment line that is no variable", with_env("serial#=KMB-S0000042\ngarbage\n"), "fw_env'",
         "line 2, is not NAME=VALUE", {"--env", "serial#=KMB-S0000001"}},
        {"an environment line too long", with_env("a=1\n" + std::string(9000, 'x') + "=long\n"), "fw_env'",
         "larger than the card's environment of 8188 bytes", {}},
        {"an environment too long", with_env(full), "fw_env'", "larger than the card's environment", {}},
        {"an environment holding a NUL", with_env(std::string("a=1\nb=\0\n", 9)), "fw_env'",
         "line 2, holds a NUL byte", {}},
        // The driver would give eth0 an address nobody chose.
        {"an ethaddr that is no address", with_env("part#=KMB-P0001\nethaddr=garbage\n"), "fw_env'",
         "line 2, is no address the card's Ethernet driver takes", {}},
        {"a multicast ethaddr", with_env("ethaddr=03:00:4b:4d:42:01\n"), "fw_env'",
         "line 1, is no address the card's Ethernet driver takes", {}},
        {"an environment linked from elsewhere",
         [](const fs::path& s, const fs::path& o) { fs::create_symlink(o / "victim", s / "fw_env"); }, "fw_env'",
         "cannot be read", {}},
        {"a file where the card's file system belongs",
         [](const fs::path& s, const fs::path&) { write_text(s / "fs", "x"); }, "/fs'", "is not a folder", {}},
        {"the card's file system linked to another folder",
         [](const fs::path& s, const fs::path& o) { fs::create_symlink(o, s / "fs"); }, "/fs'", "is not a folder", {}},
        {"the card's /tmp linked to another folder",
         [](const fs::path& s, const fs::path& o) {
             fs::create_directories(s / "fs");
             fs::create_symlink(o / "tmp", s / "fs/tmp");
         },
         "/fs/tmp'", "is not a folder", {}},
        {"the card's /var/run a file",
         [](const fs::path& s, const fs::path&) { write_text(s / "fs/var/run", "x"); }, "/fs/var/run'",
         "is not a folder", {}},
        {"a reset reason of two bytes",
         [](const fs::path& s, const fs::path&) { write_text(s / "cpld", "\x20\x30"); }, "cpld'",
         "holds 2 or more bytes, not 1", {}},
        {"the counter agent's registers linked from elsewhere",
         [](const fs::path& s, const fs::path& o) { fs::create_symlink(o / "victim", s / "counter_agent"); },
         "counter_agent'", "cannot be read", {}},
        {"an --env too long for the environment", [](const fs::path&, const fs::path&) {}, "--env big=",
         "does not fit", {"--env", "big=" + std::string(9000, 'v')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir top;
        const fs::path state = top.path() / "card";
        const fs::path outside = top.path() / "outside";
        write_text(outside / "victim", "keep me");
        write_text(outside / "tmp/victim", "keep me");
        fs::create_directories(state);
        c.make(state, outside);
        const auto before = files_under(top.path());
        const SimRun r = run_sim(card_args(state.string(), c.args), "exit\n");
        EXPECT_EQ(r.exit_status, 2);
        EXPECT_EQ(r.out, "") << "a broken state is no card out of its fixture";
        EXPECT_EQ(r.err.rfind("kmbdiag-sim: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const auto& [path, text] : before) {
            EXPECT_EQ(read_text(path), text) << path << " changed";
        }
    }
}

TEST(StateFolder, ASecondSimulatorOnTheSameStateIsRefused)
{
    TempDir state;
    // What a first simulator holds while it runs.
    const int held = ::open((state.path() / "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    write_text(state.path() / "fs/tmp/first", "the first card's");
    const SimRun second = run_sim({"--state", state.path().string(), "--speed", "0"}, "exit\n");
    EXPECT_EQ(second.exit_status, 2);
    EXPECT_EQ(second.out, "");
    EXPECT_NE(second.err.find("'" + state.path().string() + "' is in use by another simulator"), std::string::npos)
        << second.err;
    EXPECT_TRUE(fs::exists(state.path() / "fs/tmp/first")) << "the second one emptied the first one's /tmp";
    ::close(held);
    const SimRun after = run_sim({"--state", state.path().string(), "--speed", "0"}, "exit\n");
    EXPECT_EQ(after.exit_status, 1) << after.err;
    EXPECT_FALSE(fs::exists(state.path() / "fs/tmp/first")) << "a boot empties /tmp";
}

TEST(StateFolder, ALogThatCannotBeWrittenIsToldOnceAndTheRunGoesOn)
{
    TempDir state;
    const SimRun r = run_sim({"--state", (state.path() / "card").string(), "--speed", "0", "--syslog",
                              (state.path() / "no-such-folder/card.log").string(), "--fault", "counter-agent-absent"},
                             "kmb\n3\n3\n99\nexit\n");
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.out.find("FAILED"), std::string::npos) << "the console is the card's, unchanged";
    EXPECT_EQ(r.err.find("kmbdiag-sim: cannot write the card's syslog to '"), r.err.rfind("kmbdiag-sim: cannot write"))
        << r.err;
    EXPECT_NE(r.err.find("no-such-folder/card.log"), std::string::npos) << r.err;
}

} // namespace
} // namespace kmb::test
