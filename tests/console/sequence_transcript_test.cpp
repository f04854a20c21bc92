// The comprehensive run, FVT and ESS, and Ctrl-C, as the operator sees them.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using SequenceTranscript = SimTranscript;

const std::string kHealthyPass = kComprehensiveStart + kCounterAgentPassed + kEthernetPassed + kComprehensivePassed;

TEST_F(SequenceTranscript, CountAndLoopBoundTheComprehensiveRun)
{
    struct Case {
        const char* count;
        const char* loop;
        std::string echoed; // what the two settings print, each followed by a menu
        int passes;
        std::vector<std::string> args;
    };
    // A negative count counts down through the card's 32-bit arithmetic and never reaches 0:
    // the loop runs until the Ctrl-C at 600 s, in its fifth pass (some 131 s each, most of it the
    // Ethernet loopback runs).
    const std::vector<std::string> ctrl_c = {"--sigint-at", "600", "--sigint-at", "20000"};
    const Case cases[] = {
        {"count 3\n", "loop yes\n", "Count = 3\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 3, {}},
        {"count 3\n", "loop no\n", "Count = 3\n" + top_cycle() + "[Disabled] Diagnostic looping\n", 1, {}},
        {"count 1\n", "loop yes\n", "Count = 1\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 1, {}},
        {"count -2147483648\n", "loop yes\n", "Count = -2147483648\n" + top_cycle() + "[Enabled] Diagnostic looping\n",
         5, ctrl_c},
        {"count -99999999999\n", "loop yes\n", "Count = -2147483648\n" + top_cycle() + "[Enabled] Diagnostic looping\n",
         5, ctrl_c},
        {"count -1\n", "loop yes\n", "Count = -1\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 5, ctrl_c},
    };
    for (const Case& c : cases) {
        const SimRun r = run(std::string(c.count) + c.loop + "all\nexit\n", c.args);
        EXPECT_TRUE(transcript_is(r.out, top_cycle() + c.echoed + top_cycle() + repeat(kHealthyPass, c.passes) +
                                             top_cycle()))
            << c.count << c.loop;
    }
}

TEST_F(SequenceTranscript, EveryComprehensiveRunUsesTheCountUp)
{
    // Two passes by the count (a pass takes some 131 s of card time, most of it the Ethernet
    // loopback runs); the next run has no count and loops until the Ctrl-C at 600 s, which
    // lands in its third pass.
    const SimRun r = run("count 2\nloop yes\nall\nall\nexit\n", {"--sigint-at", "600", "--sigint-at", "20000"});
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "Count = 2\n" + top_cycle() + "[Enabled] Diagnostic looping\n" +
                                         top_cycle() + repeat(kHealthyPass, 2) + top_cycle() +
                                         repeat(kHealthyPass, 3) + top_cycle()));
}

TEST_F(SequenceTranscript, CtrlCStopsALoopAfterThePassInProgress)
{
    // Each pass of the counter agent test waits two seconds of card time: a Ctrl-C at 9 s
    // lands in the fifth pass, which completes; the prompt then offers 3 again.
    const SimRun r = run("kmb\n91\n3\n91\n99\nexit\n", {"--sigint-at", "9", "--sigint-at", "300"});
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91) +
                                         repeat(kCounterAgentPassed, 5) + kmb_cycle(3) + "loop is disabled\n" +
                                         kmb_cycle(91) + top_cycle()));
}

TEST_F(SequenceTranscript, CtrlCThatStoppedEssStaysPendingForOnePass)
{
    // ESS pass 1 takes some 2 s, then 2 s of rest: a Ctrl-C at 3 s stops the sequence at the
    // head of pass 2. ESS leaves it pending, so the looped test afterwards makes one pass.
    // (The late Ctrl-C at 300 s only ends the loop if that went wrong.)
    const SimRun r = run("jtk yes\ness\n5\nkmb\n91\n3\n99\nexit\n", {"--sigint-at", "3", "--sigint-at", "300"});
    EXPECT_TRUE(transcript_is(
        r.out, top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine + kEssCountPrompt +
                   "count = 5\n" + "--- Start pass 1.  " + kDateLine + kCounterAgentPassed + kEthernetPassed + kComprehensivePassed +
                   "\n" + "--- Start pass 2.  " + kDateLine + "\n\n" + kDateLine + top_cycle() + kmb_cycle(0) +
                   "loop is enabled\n" + kmb_cycle(91) + kCounterAgentPassed + kmb_cycle(3) + top_cycle()));
}

TEST_F(SequenceTranscript, StopOnErrorEndsALoopAtTheFirstFailure)
{
    const SimRun r = run("loop yes\nall\nexit\n", {"--fault", "counter-agent-pin7-stuck-low"});
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "[Enabled] Diagnostic looping\n" + top_cycle() + kComprehensiveStart +
                                         kCounterAgentFailed + kEthernetPassed + kComprehensiveFailed + top_cycle()));
}

TEST_F(SequenceTranscript, KeepRunningRepeatsFailingPassesUntilCtrlC)
{
    // A failing pass takes some 131 s of card time: a Ctrl-C at 700 s lands in the sixth
    // pass, which completes.
    const SimRun r = run("loop yes\nstop no\nall\nexit\n",
                         {"--fault", "counter-agent-pin7-stuck-low", "--sigint-at", "700", "--sigint-at", "20000"});
    const std::string failing_pass = kComprehensiveStart + kCounterAgentFailed + kEthernetPassed + kComprehensiveFailed;
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "[Enabled] Diagnostic looping\n" + top_cycle() +
                                         "[Disabled] Stop on error\n" + top_cycle() + repeat(failing_pass, 6) +
                                         top_cycle()));
}

TEST_F(SequenceTranscript, FvtShowsTheBannerWhenThePassFailed)
{
    const SimRun r = run("fvt\npxwud y\nfvt\nexit\n", {"--fault", "counter-agent-output-bit0-stuck"});
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + kFvtRefused + top_cycle() + "[Enabled] Factory mode\n" +
                                         top_cycle() + "Error read back output port default value\n" +
                                         "expect: 0x00         read: 0x1\n" + kCounterAgentFailed +
                                         kEthernetPassed + kComprehensiveFailed + "\n\n" + kDateLine + kFailedBanner + top_cycle()));
}

TEST_F(SequenceTranscript, EssIsRefusedOutsideManufacturingModeAfterTheDateLine)
{
    const SimRun r = run("ess\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + kDateLine + kEssRefused + top_cycle()));
}

TEST_F(SequenceTranscript, EssWithAnEmptyReplyRunsSixtyPasses)
{
    const SimRun r = run("jtk yes\ness\n\nexit\n");
    std::string passes;
    for (int pass = 1; pass <= 60; ++pass) {
        passes += "--- Start pass " + std::to_string(pass) + ".  " + kDateLine + kCounterAgentPassed +
                  kEthernetPassed + kComprehensivePassed + "\n";
    }
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "60" + passes + "\n\n" + kDateLine + top_cycle()));
}

TEST_F(SequenceTranscript, EssWithACountAndAStopOnErrorShowsTheBanner)
{
    const SimRun r = run("jtk yes\ness\n3\nexit\n", {"--fault", "counter-agent-absent"});
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "count = 3\n" + "--- Start pass 1.  " + kDateLine +
                                         kCounterAgentFailed + kEthernetPassed + kComprehensiveFailed + "\n\n" + kDateLine +
                                         kFailedBanner + top_cycle()));
    EXPECT_EQ(r.err, "Error open i2c device: No such device or address\n");
}

TEST_F(SequenceTranscript, EssCountThatIsNoNumberRunsNoPasses)
{
    const SimRun r = run("jtk yes\ness\nmany\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "count = 0\n" + "\n\n" + kDateLine + top_cycle()));
}

} // namespace
} // namespace kmb::test
