// Menu numbers 4, 6 and 7 as the operator sees them, on a healthy fixture and under each of
// the faults these tests are there to find, once and again with Enter. (A looped test number is
// the serial and memory transcripts'.)
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

using AgentBusTranscript = SimTranscript;

TEST_F(AgentBusTranscript, EachMenuNumberOnceAndAgainWithEnter)
{
    struct Case {
        int menu;
        const char* fault; // nullptr: a healthy card
        std::string printed;
    };
    const Case cases[] = {
        {4, nullptr, kAgentI2cPassed},
        {4, "iox-polarity-bit0-stuck", kAgentI2cFailed},
        {4, "iox-absent", kAgentI2cFailed},
        {6, nullptr, kAgentIrqPassed},
        {6, "agent-irq-stuck-low", kIrqStuckLow + kAgentIrqFailed},
        {6, "agent-irq-open", kIrqMissed + kAgentIrqFailed},
        {6, "agentdrv-absent", kIrqMissed + kAgentIrqFailed},
        {7, nullptr, kAgentIirqPassed},
        {7, "agent-iirq-stuck-low", kIirqStuckLow + kAgentIirqFailed},
        {7, "agent-iirq-open", kIirqMissed + kAgentIirqFailed},
    };
    for (const Case& c : cases) {
        const std::string n = std::to_string(c.menu);
        const std::string fault = c.fault != nullptr ? c.fault : "";
        SCOPED_TRACE(n + " " + fault);
        const std::vector<std::string> args = c.fault != nullptr ? std::vector<std::string>{"--fault", fault}
                                                                 : std::vector<std::string>{};
        const SimRun r = run("kmb\n" + n + "\n\n99\nexit\n", args);
        const std::string start_up = (fault == "iox-absent" ? kNoIoExpander : "") + kFreshCpld;
        EXPECT_TRUE(transcript_is(r.out, start_up + top_cycle() + kmb_cycle(0) + c.printed + kmb_cycle(c.menu) +
                                             c.printed + kmb_cycle(c.menu) + top_cycle()));
        EXPECT_EQ(r.err, "");
    }
}

} // namespace
} // namespace kmb::test
