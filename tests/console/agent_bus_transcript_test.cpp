// Menu numbers 4, 6 and 7 as the operator sees them, on a healthy fixture and under each of
// the faults these tests are there to find, once and looped until Ctrl-C.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

using AgentBusTranscript = SimTranscript;

struct Case {
    int menu;
    const char* fault; // nullptr: a healthy card
    std::string printed;
};

const Case kCases[] = {
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

std::vector<std::string> fault_args(const Case& c, std::vector<std::string> more = {})
{
    if (c.fault != nullptr) {
        more.insert(more.begin(), {"--fault", c.fault});
    }
    return more;
}

std::string start_up(const Case& c)
{
    return (c.fault != nullptr && std::string(c.fault) == "iox-absent" ? kNoIoExpander : "") + kFreshCpld;
}

TEST_F(AgentBusTranscript, EachMenuNumberOnceAndAgainWithEnter)
{
    for (const Case& c : kCases) {
        const std::string n = std::to_string(c.menu);
        const SimRun r = run("kmb\n" + n + "\n\n99\nexit\n", fault_args(c));
        EXPECT_TRUE(transcript_is(r.out, start_up(c) + top_cycle() + kmb_cycle(0) + c.printed + kmb_cycle(c.menu) +
                                             c.printed + kmb_cycle(c.menu) + top_cycle()))
            << n << " " << (c.fault ? c.fault : "healthy");
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(AgentBusTranscript, LoopedUntilCtrlCAndAFailureEndsTheLoopWhenStopOnErrorIsOn)
{
    for (const Case& c : kCases) {
        const std::string n = std::to_string(c.menu);
        SCOPED_TRACE(n + " " + (c.fault ? c.fault : "healthy"));
        const bool passes = c.printed.find("PASSED") != std::string::npos;
        const std::string head = start_up(c) + top_cycle() + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91);
        const std::string tail = kmb_cycle(c.menu) + top_cycle();
        SimRun r = run("kmb\n91\n" + n + "\n99\nexit\n", fault_args(c, {"--sigint-at", "20"}));
        if (passes) {
            EXPECT_TRUE(repeats_until_ctrl_c(r.out, head, [&c](int) { return c.printed; }, 3, tail));
        } else {
            EXPECT_TRUE(transcript_is(r.out, head + c.printed + tail));
        }
        // Keep running: a failing test repeats until the operator's Ctrl-C too. The bus test
        // without its expander fails before it waits at all, so only the console's own pace
        // would move the card's clock there: it is left out.
        if (start_up(c) != "") {
            continue;
        }
        r = run("stop no\nkmb\n91\n" + n + "\n99\nexit\n", fault_args(c, {"--sigint-at", "20"}));
        EXPECT_TRUE(repeats_until_ctrl_c(r.out, kFreshCpld + top_cycle() + "[Disabled] Stop on error\n" + head, [&c](int) { return c.printed; }, 3, tail));
    }
}

} // namespace
} // namespace kmb::test
