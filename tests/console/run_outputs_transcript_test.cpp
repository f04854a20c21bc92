// What kmbdiag-sim writes for the engineer when asked: the trace (the same for the same input),
// the report's verdicts and faults, the console log, the waveform, and the clear refusals of a
// bad line, window, profile or path before anything runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "operator_texts.h"
#include "transcript.h"
#include "support/text_file.h"

namespace kmb::test {
namespace {

// Log in, run the counter agent test from the top menu, leave.
const std::string kCounterAgentRun = "kmb\n3\n99\nexit\n";

class RunOutputs : public SimTranscript {
protected:
    std::filesystem::path file(const char* name) { return files_.path() / name; }
    TempDir files_;
};

TEST_F(RunOutputs, TheSameInputGivesTheSameTrace)
{
    const std::vector<std::string> faults = {"--fault", "counter-agent-pin7-stuck-low", "--fault", "iox-nack@0.5-0.6"};
    std::vector<std::string> first = faults, second = faults;
    first.insert(first.end(), {"--trace", file("one").string()});
    second.insert(second.end(), {"--trace", file("two").string()});
    EXPECT_EQ(run(kCounterAgentRun, first).exit_status, 1);
    // A second card of its own, from the same start.
    TempDir other_state;
    EXPECT_EQ(run_sim(card_args(other_state.path().string(), second), kCounterAgentRun).exit_status, 1);
    const std::string trace = read_text(file("one"));
    EXPECT_EQ(trace, read_text(file("two")));
    // The counter agent's loop pin: the test drives it high and reads it back low, and the
    // short is seen taking effect.
    EXPECT_NE(trace.find(" fault counter-agent-pin7-stuck-low\n"), std::string::npos);
    EXPECT_NE(trace.find(" ioctl /dev/i2c/0 0x0706 0x1f\n"), std::string::npos);
}

TEST_F(RunOutputs, TheReportGivesTheVerdictsLampsAndWhatEachFaultDid)
{
    const SimRun r = run(kCounterAgentRun, {"--fault", "counter-agent-pin7-stuck-low", "--fault", "serial-ring@100000",
                                            "--report", file("run.json").string()});
    EXPECT_EQ(r.exit_status, 1);
    ASSERT_NE(r.out.find(kCounterAgentFailed), std::string::npos);
    const auto j = nlohmann::json::parse(read_text(file("run.json")));
    EXPECT_EQ(j["exit_status"], 1);
    EXPECT_EQ(j["start_time"], kTestEpoch);
    ASSERT_EQ(j["verdicts"].size(), 1u);
    EXPECT_EQ(j["verdicts"][0]["test"], "Counter agent i2c bus test");
    EXPECT_EQ(j["verdicts"][0]["verdict"], "FAILED");
    EXPECT_GT(j["verdicts"][0]["card_seconds"].get<double>(), 0.0);
    EXPECT_LE(j["verdicts"][0]["card_seconds"].get<double>(), j["card_seconds"].get<double>());
    EXPECT_EQ(j["lamps"]["fail"], true);
    EXPECT_EQ(j["lamps"]["pass"], false);
    ASSERT_EQ(j["faults"].size(), 2u);
    EXPECT_EQ(j["faults"][0]["name"], "counter-agent-pin7-stuck-low");
    EXPECT_EQ(j["faults"][0]["fired"], true);
    EXPECT_LE(j["faults"][0]["first_fired"].get<double>(), j["verdicts"][0]["card_seconds"].get<double>());
    // A fault whose window the run never reached did nothing.
    EXPECT_EQ(j["faults"][1]["name"], "serial-ring");
    EXPECT_EQ(j["faults"][1]["from"], 100000.0);
    EXPECT_EQ(j["faults"][1]["fired"], false);
    EXPECT_TRUE(j["faults"][1]["first_fired"].is_null());
}

TEST_F(RunOutputs, TheConsoleLogIsWhatTheTerminalShowedWithTheOperatorsAnswers)
{
    const SimRun r = run(kCounterAgentRun, {"--console-log", file("console").string(), "--trace", "-"});
    EXPECT_EQ(r.exit_status, 1);
    const std::string log = read_text(file("console"));
    EXPECT_NE(log.find("\n" + kCounterAgentPassed), std::string::npos);
    EXPECT_NE(log.find(": 3\n"), std::string::npos) << "the operator's answer is echoed after its prompt";
    EXPECT_EQ(log.find('\b'), std::string::npos);
    EXPECT_NE(r.err.find(" i2c 0x1f w 03 "), std::string::npos) << "--trace - writes to standard error";
}

TEST_F(RunOutputs, TheWaveformHoldsTheLinesAndTheBus)
{
    EXPECT_EQ(run(kCounterAgentRun, {"--vcd", file("run.vcd").string()}).exit_status, 1);
    const std::string vcd = read_text(file("run.vcd"));
    EXPECT_EQ(vcd.rfind("$date 2026-12-06 08:00:00 UTC $end\n", 0), 0u);
    for (const char* needle : {"$timescale 1 us $end", "$var wire 1 ", " lamp_fail $end", " scl $end", " sda $end",
                               "$enddefinitions $end", "$dumpvars"}) {
        EXPECT_NE(vcd.find(needle), std::string::npos) << needle;
    }
}

TEST_F(RunOutputs, ABadWindowProfileOrPathIsRefusedBeforeTheRun)
{
    std::ofstream(file("bad-profile")) << "0 25\n60 30\n30 35\n";
    struct Case {
        std::vector<std::string> args;
        const char* error;
    };
    const Case cases[] = {
        {{"--fault", "iox-nack@3-2"}, "invalid value 'iox-nack@3-2' for --fault"},
        {{"--fault", "iox-nack@2-2"}, "invalid value 'iox-nack@2-2' for --fault"},
        {{"--fault", "iox-nack@"}, "invalid value 'iox-nack@' for --fault"},
        {{"--fault", "iox-nack@1e3"}, "invalid value 'iox-nack@1e3' for --fault"},
        {{"--fault", "iox-nack@-1"}, "invalid value 'iox-nack@-1' for --fault"},
        {{"--fault", "iox-nak@1"}, "unknown fault 'iox-nak' (did you mean"},
        {{"--temp-profile", file("bad-profile").string()}, "line 3: the card time does not rise"},
        {{"--temp-profile", file("missing").string()}, "cannot read the temperature profile"},
        {{"--temp-profile", files_.path().string()}, "cannot read the temperature profile"},
        {{"--report", file("no-such-folder/run.json").string()}, "cannot write the report to"},
        {{"--trace", ""}, "--trace needs a file name"},
        {{"--fault", "counter-agent-pin7-stuck"}, "counter-agent-pin7-stuck-low"},
        {{"--env", "ethaddr=01:00:5e:00:00:01"}, "ethaddr=01:00:5e:00:00:01"},
        {{"--help", "--bogus"}, "'--bogus'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const SimRun r = run(kCounterAgentRun, c.args);
        EXPECT_EQ(r.exit_status, 2);
        EXPECT_EQ(r.err.rfind("kmbdiag-sim: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(std::filesystem::is_empty(state_.path())) << "nothing may run before the refusal";
    }
}

TEST_F(RunOutputs, TheSensorFollowsTheProfileIntoTheTrace)
{
    std::ofstream(file("warm")) << "# warming up\n0 25\n1 26\n";
    EXPECT_EQ(run(kCounterAgentRun, {"--temp-profile", file("warm").string(), "--trace", file("t").string()}).exit_status, 1);
    const std::string trace = read_text(file("t"));
    // One degree a second: 25.25 degrees, the first to read as 25.5, at a quarter second.
    EXPECT_NE(trace.find("0.250000 temperature 25.5\n"), std::string::npos) << trace.substr(0, 400);
}

} // namespace
} // namespace kmb::test
