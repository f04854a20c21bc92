// What a daemon developer meets from the shell: each daemon's --help and --version, and the
// client that sends one request from the command line and prints the answer decoded.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "integration/daemon_pair.h"
#include "support/run_sim.h"

namespace kmb::test {
namespace {

// Which options each --help lists is DeskCompletion's, which completes from it.
TEST(DaemonTools, EachProgramNamesItself)
{
    const std::pair<const char*, std::string> programs[] = {
        {KMB_AGENTD_PATH, "kmb-agentd-sim"}, {KMB_SELD_PATH, "kmb-seld-sim"}, {KMB_AGENT_CLIENT_PATH, "kmb-agent"}};
    for (const auto& [path, name] : programs) {
        SCOPED_TRACE(name);
        const SimRun help = run_program(path, {"--help"}, "");
        EXPECT_EQ(help.exit_status, 0);
        EXPECT_EQ(help.out.rfind("Usage: " + name + " ", 0), 0u) << help.out;
        const SimRun version = run_program(path, {"--version"}, "");
        EXPECT_EQ(version.exit_status, 0);
        EXPECT_EQ(version.out, name + " 1.0.0\n");
    }
}

class AgentClient : public DaemonPair {
protected:
    SimRun client(std::vector<std::string> words)
    {
        std::vector<std::string> args = daemon_args(sim_->state().string());
        args.insert(args.end(), words.begin(), words.end());
        return run_program(KMB_AGENT_CLIENT_PATH, args, "");
    }
};

TEST_F(AgentClient, SendsAnyRequestAndPrintsTheAnswerDecoded)
{
    start({"--temp", "30"});
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"rd_pwr_stat"}, 0,
         "rd_pwr_stat (0x05)\nresult: 0 (No error)\nstatus: 0x00 (Command completed successfully)\n"
         "power supply 0: on\npower supply 1: on\n"},
        {{"ps_off", "1"}, 0, "ps_off (0x03, parameter 0x1)\nresult: 0 (No error)\nstatus: 0x00 (Command completed successfully)\n"},
        {{"0x05"}, 0,
         "rd_pwr_stat (0x05)\nresult: 0 (No error)\nstatus: 0x00 (Command completed successfully)\n"
         "power supply 0: on\npower supply 1: off\n"},
        {{"reset", "15"}, 1, "reset (0x10, parameter 0xf)\nresult: 2 (Invalid parameter)\nstatus: 0xff (unknown)\n"},
        {{"lm77", "query"}, 0,
         "result: 0 (No error)\ntemperature: 30 C\nT_LOW: 10 C\nT_HIGH: 55 C\nT_CRIT: 65 C\nzone: 0 (normal)\n"},
        {{"lm77", "write", "5", "50"}, 0,
         "result: 0 (No error)\ntemperature: 30 C\nT_LOW: 10 C\nT_HIGH: 50 C\nT_CRIT: 65 C\nzone: 0 (normal)\n"},
        {{"no_such_command"}, 2, ""},
        {{"lm77", "write", "5"}, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        const SimRun run = client(c.words);
        EXPECT_EQ(run.exit_status, c.status) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
    // The high limit moved below the temperature: the daemon's LM77 handler records the zone
    // change, and the client reads it back from the event log.
    EXPECT_EQ(client({"lm77", "write", "5", "25"}).exit_status, 0);
    EXPECT_EQ(client({"lm77", "query"}).exit_status, 0);
    stop_daemons();
    const SimRun info = client({"sel", "info"});
    EXPECT_EQ(info.exit_status, 0);
    EXPECT_EQ(info.out.rfind("records: 1\nnext record ID: 2\nnewest: ", 0), 0u) << info.out;
    EXPECT_TRUE(info.out.ends_with("\nworst severity: 2\nclears: 0\n")) << info.out;
    const SimRun records = client({"sel", "records"});
    EXPECT_EQ(records.exit_status, 0);
    EXPECT_EQ(records.out.rfind("\nRecord ID: 1\nTimestamp: 0x", 0), 0u) << records.out;
    EXPECT_TRUE(records.out.ends_with("\nSeverity: 2\nEvent type: 5\n"
                                      "LM77: 30 C, T_LOW 10 C, T_HIGH 25 C, T_CRIT 65 C, zone 2\n"))
        << records.out;
}

} // namespace
} // namespace kmb::test
