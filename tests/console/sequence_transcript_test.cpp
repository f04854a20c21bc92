// The comprehensive run, FVT and ESS, and Ctrl-C, as the operator sees them.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using SequenceTranscript = SimTranscript;

// The i-th healthy pass of a run, and the i-th of a run whose counter agent test fails.
std::string healthy_pass(int i) { return healthy_passes(1, i * kHealthySpinnerSteps); }
std::string counter_agent_failing_pass(int i)
{
    return kComprehensiveStart + pass_tests(i * kHealthySpinnerSteps, {.counter_agent = kCounterAgentFailed}) +
           kComprehensiveFailed;
}

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
    // the loop runs until the Ctrl-C (passes: 0), whichever pass that lands in.
    const std::vector<std::string> ctrl_c = {"--sigint-at", "900"};
    const Case cases[] = {
        {"count 3\n", "loop yes\n", "Count = 3\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 3, {}},
        {"count 3\n", "loop no\n", "Count = 3\n" + top_cycle() + "[Disabled] Diagnostic looping\n", 1, {}},
        {"count 1\n", "loop yes\n", "Count = 1\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 1, {}},
        {"count -2147483648\n", "loop yes\n", "Count = -2147483648\n" + top_cycle() + "[Enabled] Diagnostic looping\n",
         0, ctrl_c},
        {"count -99999999999\n", "loop yes\n", "Count = -2147483648\n" + top_cycle() + "[Enabled] Diagnostic looping\n",
         0, ctrl_c},
        {"count -1\n", "loop yes\n", "Count = -1\n" + top_cycle() + "[Enabled] Diagnostic looping\n", 0, ctrl_c},
    };
    for (const Case& c : cases) {
        const SimRun r = run(std::string(c.count) + c.loop + "all\nexit\n", c.args);
        const std::string head = kFreshCpld + top_cycle() + c.echoed + top_cycle();
        if (c.passes == 0) {
            EXPECT_TRUE(repeats_until_ctrl_c(r.out, head, healthy_pass, 2, top_cycle())) << c.count << c.loop;
            continue;
        }
        EXPECT_TRUE(transcript_is(r.out, head + healthy_passes(c.passes) + top_cycle())) << c.count << c.loop;
    }
}

TEST_F(SequenceTranscript, MenuOneRunsTheComprehensiveTestByCountLoopAndStop)
{
    const std::string count3 = "Count = 3\n" + top_cycle();
    const std::string loop_on = "[Enabled] Diagnostic looping\n" + top_cycle();
    const std::string loop_off = "[Disabled] Diagnostic looping\n" + top_cycle();
    const std::string failing_pass = counter_agent_failing_pass(0);
    struct Case {
        const char* title;
        std::string console;
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {"count 3 with loop", "count 3\nloop yes\nkmb\n1\n99\nexit\n", {},
         kFreshCpld + top_cycle() + count3 + loop_on + kmb_cycle(0) + healthy_passes(3) + kmb_cycle(1) + top_cycle()},
        {"count 3 without loop", "count 3\nloop no\nkmb\n1\n99\nexit\n", {},
         kFreshCpld + top_cycle() + count3 + loop_off + kmb_cycle(0) + healthy_passes(1) + kmb_cycle(1) + top_cycle()},
        // 91 turns looping on inside the menu, and the count still bounds it.
        {"count 3 with the menu's loop", "count 3\nkmb\n91\n1\n99\nexit\n", {},
         kFreshCpld + top_cycle() + count3 + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91) + healthy_passes(3) + kmb_cycle(1) +
             top_cycle()},
        // Stop on error ends the counted loop at the first failing pass.
        {"stop on error", "count 3\nloop yes\nkmb\n1\n99\nexit\n", {"--fault", "counter-agent-pin7-stuck-low"},
         kFreshCpld + top_cycle() + count3 + loop_on + kmb_cycle(0) + failing_pass + kmb_cycle(1) + top_cycle()},
    };
    for (const Case& c : cases) {
        const SimRun r = run(c.console, c.args);
        EXPECT_TRUE(transcript_is(r.out, c.expected)) << c.title;
    }
    // The count is used up by the first run (3 passes); Enter runs 1 again, which loops
    // until the operator's Ctrl-C. The top menu's "all" runs the same sequence.
    const SimRun r = run("count 3\nloop yes\nkmb\n1\n\n99\nexit\n", {"--sigint-at", "900"});
    EXPECT_TRUE(repeats_until_ctrl_c(
        r.out, kFreshCpld + top_cycle() + count3 + loop_on + kmb_cycle(0) + healthy_passes(3) + kmb_cycle(1),
        [](int i) { return healthy_pass(3 + i); }, 1, kmb_cycle(1) + top_cycle()));
}

TEST_F(SequenceTranscript, CtrlCStopsALoopAfterThePassInProgress)
{
    // Each pass of the counter agent test waits two seconds of card time: a Ctrl-C at 9 s
    // lands in the fifth pass, which completes; the prompt then offers 3 again.
    const SimRun r = run("kmb\n91\n3\n91\n99\nexit\n", {"--sigint-at", "9", "--sigint-at", "300"});
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91) +
                                         repeat(kCounterAgentPassed, 5) + kmb_cycle(3) + "loop is disabled\n" +
                                         kmb_cycle(91) + top_cycle()));
}

TEST_F(SequenceTranscript, CtrlCThatStoppedEssStaysPendingForOnePass)
{
    // ESS pass 1 takes longer than 6 s, then 2 s of rest: a Ctrl-C at 6 s stops the sequence
    // at the head of pass 2. ESS leaves it pending, so the looped test afterwards makes one pass.
    // (The late Ctrl-C at 300 s only ends the loop if that went wrong.)
    const SimRun r = run("jtk yes\ness\n5\nkmb\n91\n3\n99\nexit\n", {"--sigint-at", "6", "--sigint-at", "300"});
    EXPECT_TRUE(transcript_is(
        r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine + kEssCountPrompt +
                   "count = 5\n" + "--- Start pass 1.  " + kDateLine + ess_tests(0) + kComprehensivePassed +
                   "\n" + "--- Start pass 2.  " + kDateLine + "\n\n" + kDateLine + top_cycle() + kmb_cycle(0) +
                   "loop is enabled\n" + kmb_cycle(91) + kCounterAgentPassed + kmb_cycle(3) + top_cycle()));
}

TEST_F(SequenceTranscript, KeepRunningRepeatsFailingPassesUntilCtrlC)
{
    const SimRun r = run("loop yes\nstop no\nall\nexit\n",
                         {"--fault", "counter-agent-pin7-stuck-low", "--sigint-at", "300"});
    EXPECT_TRUE(repeats_until_ctrl_c(r.out,
                                     kFreshCpld + top_cycle() + "[Enabled] Diagnostic looping\n" + top_cycle() +
                                         "[Disabled] Stop on error\n" + top_cycle(),
                                     counter_agent_failing_pass, 2, top_cycle()));
}

TEST_F(SequenceTranscript, FvtShowsTheBannerWhenThePassFailed)
{
    const SimRun r = run("fvt\npxwud y\nfvt\nexit\n", {"--fault", "counter-agent-output-bit0-stuck"});
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kFvtRefused + top_cycle() + "[Enabled] Factory mode\n" +
                                         top_cycle() +
                                         pass_tests(0, {.counter_agent = "Error read back output port default value\n"
                                                                         "expect: 0x00         read: 0x1\n" +
                                                                         kCounterAgentFailed}) +
                                         kComprehensiveFailed + "\n\n" + kDateLine + kFailedBanner + top_cycle()));
}

TEST_F(SequenceTranscript, EssWithAnEmptyReplyRunsSixtyPasses)
{
    const SimRun r = run("jtk yes\ness\n\nexit\n");
    std::string passes;
    for (int pass = 1; pass <= 60; ++pass) {
        passes += "--- Start pass " + std::to_string(pass) + ".  " + kDateLine +
                  ess_tests((pass - 1) * kEssSpinnerSteps) + kComprehensivePassed + "\n";
    }
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "60" + passes + "\n\n" + kDateLine + top_cycle()));
}

TEST_F(SequenceTranscript, EssWithACountAndAStopOnErrorShowsTheBanner)
{
    const SimRun r = run("jtk yes\ness\n3\nexit\n", {"--fault", "counter-agent-absent"});
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "count = 3\n" + "--- Start pass 1.  " + kDateLine +
                                         pass_tests(0, {.counter_agent = kCounterAgentFailed, .temperature = current_temperature(25), .temperature_steps = 0}) + kComprehensiveFailed +
                                         "\n\n" + kDateLine +
                                         kFailedBanner + top_cycle()));
    EXPECT_EQ(r.err, "Error open i2c device: No such device or address\n");
}

TEST_F(SequenceTranscript, EssCountThatIsNoNumberRunsNoPasses)
{
    const SimRun r = run("jtk yes\ness\nmany\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                         kEssCountPrompt + "count = 0\n" + "\n\n" + kDateLine + top_cycle()));
}

} // namespace
} // namespace kmb::test
