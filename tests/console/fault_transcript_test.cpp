// Menu 3 and start-up as the operator sees them when the fixture or the card has a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

struct Case {
    const char* fault;
    std::string start_up; // printed before the first menu
    std::string menu3;    // what menu 3 prints
    std::string err;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.fault; }

class FaultTranscript : public ::testing::TestWithParam<Case> {};

TEST_P(FaultTranscript, Menu3AndStartUp)
{
    const Case& c = GetParam();
    TempDir state;
    std::vector<std::string> args = {"--state", state.path().string(), "--speed", "0"};
    if (*c.fault != '\0') {
        args.insert(args.end(), {"--fault", c.fault});
    }
    const SimRun r = run_sim(args, "kmb\n3\n99\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, c.start_up + top_cycle() + kmb_cycle(0) + c.menu3 + kmb_cycle(3) + top_cycle()));
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.exit_status, 1);
}

const std::string kBadOutput = "Error read back output port default value\nexpect: 0x00         read: 0x1\n";

INSTANTIATE_TEST_SUITE_P(
    Card, FaultTranscript,
    ::testing::Values(Case{"", "", kCounterAgentPassed, ""},
                      Case{"iox-absent", kNoIoExpander, kCounterAgentPassed, ""},
                      Case{"counter-agent-absent", "", kCounterAgentFailed,
                           "Error open i2c device: No such device or address\n"},
                      Case{"counter-agent-pin7-stuck-low", "", kCounterAgentFailed, ""},
                      Case{"counter-agent-output-bit0-stuck", "", kBadOutput + kCounterAgentFailed, ""},
                      Case{"i2c-bus-absent", kNoIoExpander, kCounterAgentFailed,
                           "Error open i2c device: No such file or directory\n"},
                      Case{"agentdrv-absent", "", kCounterAgentPassed, ""}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.fault; *p != '\0'; ++p) {
            if (*p != '-') {
                name += *p;
            }
        }
        return name.empty() ? std::string("healthy") : name;
    });

TEST(SimulatorCommandLine, AnUnknownFaultIsRefusedBeforeAnythingRuns)
{
    TempDir state;
    const SimRun r = run_sim({"--state", (state.path() / "card").string(), "--fault", "counter-agent-pin7-stuck"},
                             "exit\n");
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("counter-agent-pin7-stuck-low"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(state.path() / "card")) << "nothing may run before the refusal";
}

TEST(SimulatorCommandLine, ListFaultsNamesTheWholeCatalogue)
{
    const SimRun r = run_sim({"--list-faults"}, "");
    EXPECT_EQ(r.exit_status, 0);
    for (const char* name : {"no-fixture", "i2c-bus-absent", "iox-absent", "counter-agent-absent",
                             "counter-agent-pin7-stuck-low", "counter-agent-output-bit0-stuck", "agentdrv-absent"}) {
        EXPECT_NE(r.out.find(name), std::string::npos) << name;
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
    EXPECT_TRUE(transcript_is(r.out, top_menu(kShippedVersion) + pre_production_warning("05") + kTopPrompt));
    EXPECT_TRUE(std::filesystem::exists(state.path() / "fs/mnt/logs/kept"));
    EXPECT_FALSE(std::filesystem::exists(state.path() / "fs/tmp/scratch"));
}

} // namespace
} // namespace kmb::test
