// The simulator's state as the operator meets it: where the system log goes, and what a card
// keeps across a power cycle. (What each fault shows is the fault-coverage test's.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

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

// A second start keeps what --env set. (That it keeps the logs and empties /tmp is the state
// folder tests'.)
TEST(SimulatorState, TheCardKeepsItsEnvironment)
{
    TempDir state;
    run_sim({"--state", state.path().string(), "--speed", "0", "--env", "rev#=05"}, "exit\n");
    const SimRun r = run_sim({"--state", state.path().string(), "--speed", "0"}, "exit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_menu(kShippedVersion) + pre_production_warning("05") + kTopPrompt));
}

} // namespace
} // namespace kmb::test
