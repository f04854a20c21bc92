// The simulator's own command line and state as the operator meets them. (What each fault shows
// at start-up, in menu 3 and in the comprehensive test is the fault-coverage test's.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(SimulatorCommandLine, AnythingBadOnTheLineIsRefusedBeforeAnythingRuns)
{
    const std::pair<std::vector<std::string>, const char*> lines[] = {
        {{"--fault", "counter-agent-pin7-stuck"}, "counter-agent-pin7-stuck-low"},
        {{"--env", "ethaddr=01:00:5e:00:00:01"}, "ethaddr=01:00:5e:00:00:01"},
        {{"--help", "--bogus"}, "'--bogus'"},
    };
    for (const auto& [line, named] : lines) {
        TempDir state;
        std::vector<std::string> args = {"--state", (state.path() / "card").string()};
        args.insert(args.end(), line.begin(), line.end());
        const SimRun r = run_sim(args, "exit\n");
        SCOPED_TRACE(::testing::PrintToString(line));
        EXPECT_EQ(r.exit_status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("kmbdiag-sim: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(state.path() / "card")) << "nothing may run before the refusal";
    }
}

TEST(SimulatorState, TheSystemLogGoesWhereItIsAskedTo)
{
    TempDir state;
    const std::string log = (state.path() / "card.log").string();
    run_sim({"--state", (state.path() / "card").string(), "--speed", "0", "--syslog", log, "--fault",
             "counter-agent-absent"},
            "kmb\n3\n99\nexit\n");
    std::ifstream in(log);
    std::string line;
    int refusals = 0;
    while (std::getline(in, line)) {
        if (line.find("<3> Error using I2C addr 0x1f") != std::string::npos) {
            ++refusals;
        }
    }
    EXPECT_EQ(refusals, 2) << "start-up's defaults and menu 3 each open the counter agent once";
    EXPECT_FALSE(std::filesystem::exists(state.path() / "card/syslog"));
}

TEST(SimulatorState, TheCardKeepsItsLogsAndEnvironmentButNotItsTmp)
{
    TempDir state;
    const std::vector<std::string> args = {"--state", state.path().string(), "--speed", "0"};
    run_sim({"--state", state.path().string(), "--speed", "0", "--env", "rev#=05"}, "exit\n");
    // Written by hand between runs: a log survives a power cycle, /tmp does not.
    std::filesystem::create_directories(state.path() / "fs/mnt/logs");
    std::ofstream(state.path() / "fs/mnt/logs/kept") << "x";
    std::ofstream(state.path() / "fs/tmp/scratch") << "x";
    const SimRun r = run_sim(args, "exit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_menu(kShippedVersion) + pre_production_warning("05") + kTopPrompt));
    EXPECT_TRUE(std::filesystem::exists(state.path() / "fs/mnt/logs/kept"));
    EXPECT_FALSE(std::filesystem::exists(state.path() / "fs/tmp/scratch"));
}

} // namespace
} // namespace kmb::test
