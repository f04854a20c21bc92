// The campaign's judgement of a run against the coverage report's word on who sees each fault.
#include <gtest/gtest.h>

#include "sim/campaign/run_result.h"

namespace kmb::sim {
namespace {

struct JudgeCase {
    const char* what;
    RunResult run;
    bool flagged;
};

const ReportedVerdict kSerialPassed{"Serial port test", true, 1.0};
const ReportedVerdict kSerialFailed{"Serial port test", false, 1.0};
const ReportedVerdict kMemoryPassed{"Memory test", true, 2.0};
const ReportedVerdict kMemoryFailed{"Memory test", false, 2.0};
const ReportedVerdict kEthernetPassed{"Internal Ethernet loopback 100BASE Full Dup test", true, 3.0};

const JudgeCase kCases[] = {
    {"a whole-run fault its test passed", {1, {kSerialPassed}, {{"serial-ring", 0, {}, 0.2}}}, true},
    {"a whole-run fault its test failed", {1, {kSerialFailed}, {{"serial-ring", 0, {}, 0.2}}}, false},
    {"a window over all of its test's run, passed", {1, {kSerialPassed, kMemoryPassed}, {{"mem-tiny", 0.9, 2.1, 1.6}}},
     true},
    {"a window that closes inside its test's run", {1, {kSerialPassed, kMemoryPassed}, {{"mem-tiny", 0.9, 1.9, 1.6}}},
     false},
    {"a window that opens inside its test's run", {1, {kSerialPassed, kMemoryPassed}, {{"mem-tiny", 1.5, {}, 1.6}}},
     false},
    // A campaign's finding: the window met only the reads whose value the temperature test
    // throws away, and the test rightly passed.
    {"an LM77 read window inside the temperature test",
     {1, {{"Temperature sensor test", true, 42.10367}}, {{"lm77-read-fails", 15.921, 24.939, 22.10029}}}, false},
    {"a window that fired in another test's run", {1, {kSerialPassed, kEthernetPassed}, {{"eth-no-ip", 0.1, 0.9, 0.5}}},
     false},
    {"a known gap's fault", {1, {kMemoryPassed}, {{"ecc-absent", 0, {}, 0.1}}}, false},
    {"a fault that never fired", {1, {kSerialPassed}, {{"serial-ring", 0, {}, {}}}}, false},
    {"a failure with no fault fired", {1, {kMemoryFailed}, {{"serial-ring", 5, 6, {}}}}, true},
    {"a healthy card that passed", {1, {kSerialPassed, kMemoryPassed}, {}}, false},
};

TEST(CampaignJudge, FlagsWhatContradictsTheFaultsThatFired)
{
    for (const JudgeCase& c : kCases) {
        EXPECT_EQ(!contradictions(c.run).empty(), c.flagged) << c.what;
    }
}

TEST(CampaignJudge, RefusesAReportOfTheWrongShape)
{
    const char* const kNotReports[] = {
        "", "[]", "{\"exit_status\": 1}", "{\"exit_status\": 1, \"verdicts\": [{}], \"faults\": []}",
        "{\"exit_status\": 1, \"verdicts\": [], \"faults\": [{\"name\": 3}]}",
        "{\"exit_status\": 1, \"verdicts\": [{\"test\": \"x\", \"verdict\": \"MAYBE\", \"card_seconds\": 1}], "
        "\"faults\": []}",
    };
    for (const char* text : kNotReports) {
        std::string error;
        EXPECT_FALSE(parse_run_report(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    std::string error;
    EXPECT_FALSE(parse_run_report(std::string(kMaxReportBytes + 1, ' '), error));
}

} // namespace
} // namespace kmb::sim
