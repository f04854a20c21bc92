// Scripted runs always end: the console is a serial line that paces a printing loop in card
// time, so a scripted Ctrl-C arrives; a script that ends while a test loops hangs up, which is
// a Ctrl-C too; and a Ctrl-C before the program's handler says why the run ended.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// 115,200 bit/s at ten bits a byte.
constexpr std::size_t kLineBytesPerSecond = 11'520;
constexpr std::size_t kTransmitBuffer = 4096;

TEST(ScriptedRun, EveryScriptEndsWithBoundedOutput)
{
    struct Case {
        const char* what;
        std::string input;
        std::vector<std::string> args;
        int exit_status;
        std::size_t min_out, max_out;
        const char* err; // what the simulator must say on standard error, or "" for nothing
    };
    const std::vector<std::string> no_bus = {"--fault", "i2c-bus-absent"};
    auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Case cases[] = {
        // A failing loop that keeps running and whose passes take no card time: only the line's pace lets the Ctrl-C at 5 s
        // come, after the buffer and some 5 s of output (less the menus' shell commands).
        {"a looped test paced by the console", "stop no\nkmb\n91\n3\n91\n99\nexit\n", with(no_bus, {"--sigint-at", "5"}), 1,
         kTransmitBuffer + 4 * kLineBytesPerSecond, kTransmitBuffer + 5 * kLineBytesPerSecond + 16'384, ""},
        // A line a tenth as fast carries a tenth as much by the same Ctrl-C.
        {"a looped test on a slower line", "stop no\nkmb\n91\n3\n91\n99\nexit\n",
         with(no_bus, {"--sigint-at", "5", "--console-baud", "11520"}), 1,
         kTransmitBuffer + 4 * kLineBytesPerSecond / 10, kTransmitBuffer + 5 * kLineBytesPerSecond / 10 + 16'384, ""},
        // The script ends while the test loops: the operator has hung up.
        {"a script without its Ctrl-C", "stop no\nkmb\n91\n3\n", no_bus, 1, 1, 64 * 1024, ""},
        {"a script without its Ctrl-C, healthy", "kmb\n91\n3\n", {}, 1, 1, 64 * 1024, ""},
        {"the comprehensive test looped to the end of the script", "stop no\nloop yes\nall\n", no_bus, 1, 1, 256 * 1024, ""},
        // Before the handler a Ctrl-C ends the program as it would the card's.
        {"a Ctrl-C before the handler", "exit\n", {"--sigint-at", "0.001"}, -1, 0, 0,
         "kmbdiag-sim: the Ctrl-C of --sigint-at 0.001 came before the diagnostic had its handler"},
    };
    // Run as a job in a script's background runs them, with Ctrl-C ignored: the card's
    // program starts with it at its default all the same.
    const auto desk_sigint = std::signal(SIGINT, SIG_IGN);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir state;
        const SimRun r = run_sim(card_args(state.path().string(), c.args), c.input);
        EXPECT_EQ(r.exit_status, c.exit_status) << r.err;
        EXPECT_GE(r.out.size(), c.min_out);
        EXPECT_LE(r.out.size(), c.max_out);
        if (c.err[0] == '\0') {
            EXPECT_EQ(r.err.find("kmbdiag-sim:"), std::string::npos) << r.err;
        } else {
            EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        }
    }
    std::signal(SIGINT, desk_sigint);
}

} // namespace
} // namespace kmb::test
