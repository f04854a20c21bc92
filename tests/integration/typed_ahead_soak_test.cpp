// Random operator scripts, typed ahead and then hung up, on cards with random faults: every one
// ends, with bounded output, by itself. Once a script's input has ended every looped test ends
// after its pass, the lines typed ahead are still read in turn, and the program ends at the end
// of input (or at a reset test the script confirmed). Seeded and bounded, at speed 0; set
// KMB_SOAK_SEED to replay or vary the scripts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

constexpr int kScripts = 24;
constexpr double kWallLimitS = 120;            // a script that runs longer has not ended
constexpr std::size_t kOutputLimit = 8u << 20; // nor has one that prints more

const char* const kTopLines[] = {"kmb", "all", "loop yes", "loop no", "stop yes", "stop no", "count 2", "count -1",
                                 "options", "default", "version", "help", "", "bogus"};
const char* const kMenuLines[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "70", "91", "91", "92", "", "99",
                                  "13\nn", "14\nno", "15\ny", "42"};
const char* const kFaults[] = {"i2c-bus-absent",   "counter-agent-pin7-stuck-low", "lm77-int-open", "serial-drop-byte",
                               "eth-no-cable",     "mem-tiny",                     "agent-irq-stuck-low", "ecc-error",
                               "eth-link-down",    "agent-fifo-stuck",             "serial-no-loopback", "watchdog-dead"};

template <typename T, std::size_t N>
const char* pick(std::mt19937& random, const T (&list)[N])
{
    return list[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)];
}

struct Script {
    std::string input;
    std::vector<std::string> faults;
};

// Lines for both menus, mostly in the menu the operator is in, ending anywhere: inside a looped
// test, at a prompt, with the test menu's Enter (the last choice again) typed ahead.
Script random_script(std::mt19937& random)
{
    Script s;
    const int faults = std::uniform_int_distribution<int>(0, 2)(random);
    for (int i = 0; i < faults; ++i) {
        s.faults.emplace_back(pick(random, kFaults));
    }
    const int lines = std::uniform_int_distribution<int>(2, 12)(random);
    bool in_menu = false;
    for (int i = 0; i < lines; ++i) {
        std::string line = in_menu ? pick(random, kMenuLines) : pick(random, kTopLines);
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0) {
            line = in_menu ? pick(random, kTopLines) : pick(random, kMenuLines); // the wrong menu's line
        }
        if (!in_menu && line == "kmb") {
            in_menu = true;
        } else if (in_menu && line == "99") {
            in_menu = false;
        }
        s.input += line + "\n";
    }
    return s;
}

// The script run on a card of its own with these faults; the simulator is killed once it has
// run kWallLimitS.
SimRun run_script(const std::string& input, const std::vector<std::string>& faults)
{
    TempDir state;
    std::vector<std::string> args = {"--state", state.path().string(), "--speed", "0"};
    for (const std::string& f : faults) {
        args.push_back("--fault");
        args.push_back(f);
    }
    return run_sim(args, input, InputEnd::Close, {}, kWallLimitS);
}

TEST(TypedAheadSoak, EveryScriptEndsWhateverItTypedAhead)
{
    unsigned seed = 20261207;
    if (const char* given = std::getenv("KMB_SOAK_SEED")) {
        seed = static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    }
    std::mt19937 random(seed);
    for (int n = 0; n < kScripts; ++n) {
        const Script s = random_script(random);
        std::string trace = "seed " + std::to_string(seed) + ", script " + std::to_string(n) + ":";
        for (const std::string& f : s.faults) {
            trace += " --fault " + f;
        }
        SCOPED_TRACE(trace + "\n" + s.input);
        const SimRun r = run_script(s.input, s.faults);
        ASSERT_FALSE(r.timed_out) << "still running after " << kWallLimitS << " s; it printed " << r.out.size() << " bytes";
        EXPECT_LE(r.out.size(), kOutputLimit);
        // The end of input (1), or a reset test the script confirmed (3).
        EXPECT_TRUE(r.exit_status == 1 || r.exit_status == 3) << "exit status " << r.exit_status << "\n" << r.err;
        EXPECT_EQ(r.err.find("kmbdiag-sim:"), std::string::npos) << r.err;
    }
}

// Scripts that type ahead of a looped test, as a line's batch files do.
TEST(TypedAheadSoak, ALoopWithLinesTypedAfterItEndsAfterItsPass)
{
    for (const char* script : {"kmb\n91\n4\n\n", "kmb\n91\n3\n3\n", "stop no\nkmb\n91\n3\n3\n\n99\nall\n",
                               "loop yes\nall\nall\nkmb\n8\n"}) {
        SCOPED_TRACE(script);
        const SimRun r = run_script(script, {"i2c-bus-absent"});
        ASSERT_FALSE(r.timed_out);
        EXPECT_EQ(r.exit_status, 1) << r.err;
        EXPECT_LE(r.out.size(), 1u << 20);
        // Every line was read: the program ends at the top menu's prompt, at the end of input.
        const std::string prompt = "Enter Diag, Command or Option : ";
        EXPECT_EQ(r.out.rfind(prompt), r.out.size() - prompt.size());
    }
}

} // namespace
} // namespace kmb::test
