// The top-level menu and the KMB test menu as the operator sees them on the simulated card.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using MenuTranscript = SimTranscript;

TEST_F(MenuTranscript, ExitMatchesOnItsFirstFourLettersInAnyCaseAndEndsWithStatusOne)
{
    struct Case {
        const char* line;
        int cycles; // menus printed before the program ends
    };
    const Case cases[] = {
        {"exit\n", 1},  {"EXIT\n", 1}, {"Exit now please\n", 1}, {"exitx\n", 1}, {"exi\nexit\n", 2},
        {" exit\nexit\n", 2},
    };
    for (const Case& c : cases) {
        const SimRun r = run(c.line);
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + repeat(top_cycle(), c.cycles))) << c.line;
        EXPECT_EQ(r.exit_status, 1) << c.line;
        EXPECT_EQ(r.err, "") << c.line;
    }
}

TEST_F(MenuTranscript, EndOfInputEndsTheProgramWithoutRepeatingTheLastCommand)
{
    // "count 7" without a line end, then nothing more: it acts once, then the program ends.
    const SimRun r = run("count 7");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "Count = 7\n" + top_cycle()));
    EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTranscript, OptionCommandsAndTheSummary)
{
    struct Case {
        const char* line;
        std::string printed;
    };
    const Case cases[] = {
        {"loop yes\n", "[Enabled] Diagnostic looping\n"},
        {"loop\n", "Diagnostic looping\n"},
        {"LOOP on\n", "[Enabled] Diagnostic looping\n"},
        {"loop nope\n", "[Disabled] Diagnostic looping\n"},
        {"loop o\n", "Diagnostic looping\n"},
        {"stop off\n", "[Disabled] Stop on error\n"},
        {"stop Y\n", "[Enabled] Stop on error\n"},
        {"count 12\n", "Count = 12\n"},
        {"count\n", "Count = 0\n"},
        {"count 5abc\n", "Count = 5\n"},
        {"count -4\n", "Count = -4\n"},
        {"count 99999999999999\n", "Count = 2147483647\n"},
        {"default\n", ""},
        {"help\n", ""},
        {"nonsense\n", ""},
        {"options\n", option_summary(false, true, false, false)},
    };
    for (const Case& c : cases) {
        const SimRun r = run(std::string(c.line) + "exit\n");
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + c.printed + top_cycle())) << c.line;
    }
}

TEST_F(MenuTranscript, OptionsAfterTheHiddenModeSwitches)
{
    const SimRun r = run("pxwud yes\noptions\njtk no\noptions\nfvt\ness\npxwud no\noptions\nexit\n");
    EXPECT_TRUE(transcript_is(
        r.out, kFreshCpld + top_cycle() + "[Enabled] Factory mode\n" + top_cycle() + option_summary(false, true, true, true) +
                   top_cycle() + "[Disabled] Manufacturing mode\n" + top_cycle() +
                   option_summary(false, true, true, false) + top_cycle() +
                   // FVT is still allowed; ESS is not.
                   healthy_tests(0) + kComprehensivePassed + "\n\n" + kDateLine + top_cycle() + kDateLine +
                   kEssRefused + top_cycle() + "[Disabled] Factory mode\n" + top_cycle() +
                   option_summary(false, true, false, false) + top_cycle()));
}

TEST_F(MenuTranscript, OnlyTheKeywordAtTheStartOfALineActs)
{
    // "stop no" later on the line is the loop argument's tail, not a command of its own; and
    // "loops" is the loop keyword with a line end in its argument column.
    const SimRun r = run("loop yes stop no\noptions\nloops\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Diagnostic looping\n" + top_cycle() +
                                         option_summary(true, true, false, false) + top_cycle() +
                                         "Diagnostic looping\n" + top_cycle()));
}

TEST_F(MenuTranscript, DefaultRestoresOptionsButNotModes)
{
    const SimRun r = run("jtk yes\nloop yes\nstop no\ndefault\noptions\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() +
                                         "[Enabled] Diagnostic looping\n" + top_cycle() + "[Disabled] Stop on error\n" +
                                         top_cycle() + top_cycle() + option_summary(false, true, false, true) +
                                         top_cycle()));
}

TEST_F(MenuTranscript, ALineLongerThanTheBufferIsReadInPieces)
{
    // The menu reads at most 79 characters; what is left of the line answers the next prompt.
    const std::string head = "loop yes" + std::string(71, ' ');
    struct Case {
        std::string input;
        std::string after_loop; // what the rest of the long line makes the menu print
    };
    const Case cases[] = {
        {head + "options\nexit\n", top_cycle() + option_summary(true, true, false, false)},
        {head + "\nexit\n", top_cycle()},                     // the line end alone: an empty line
        {head + "   exit\nexit\n", top_cycle()},              // a rest that begins with blanks matches nothing
        {head + "exit\n", ""},                                // the rest is the Exit command
    };
    for (const Case& c : cases) {
        const SimRun r = run(c.input);
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Diagnostic looping\n" + c.after_loop + top_cycle()))
            << c.input;
        EXPECT_EQ(r.exit_status, 1);
    }
}

TEST_F(MenuTranscript, KmbMenuSelectionIsRememberedAndEnterRunsItAgain)
{
    const SimRun r = run("kmb\n\n3\n\n12\n-1\n50 and more\n99\nexit\n");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + kmb_cycle(0) + kCounterAgentPassed + kmb_cycle(3) +
                                         kCounterAgentPassed + kmb_cycle(3) + kmb_cycle(12) + kmb_cycle(-1) +
                                         kmb_cycle(50) + top_cycle()));
}

TEST_F(MenuTranscript, LoopAndStopTogglesLastOnlyWhileTheKmbMenuIsOpen)
{
    const SimRun r = run("kmb\n91\n\n92\n99\noptions\nloop yes\nkmb\n91\n99\noptions\nexit\n");
    EXPECT_TRUE(transcript_is(
        r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91) + "loop is disabled\n" +
                   kmb_cycle(91) + "stop on error is disabled\n" + kmb_cycle(92) + top_cycle() +
                   option_summary(false, true, false, false) + top_cycle() + "[Enabled] Diagnostic looping\n" +
                   top_cycle() + kmb_cycle(0) + "loop is disabled\n" + kmb_cycle(91) + top_cycle() +
                   option_summary(true, true, false, false) + top_cycle()));
}

TEST_F(MenuTranscript, EndOfInputInTheKmbMenuLeavesItWithoutRepeating)
{
    const SimRun r = run("kmb\n3");
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + kCounterAgentPassed + kmb_cycle(3) + top_cycle()));
    EXPECT_EQ(r.exit_status, 1);
}

TEST_F(MenuTranscript, CardInformationComesFromTheBootLoaderEnvironment)
{
    const SimRun r = run("kmb\n70\n99\nexit\n", {"--env", "part#=KMB-P0009", "--env", "serial#=KMB-S0000009",
                                                 "--env", "rev#=B1", "--env", "ethaddr=02:00:4b:4d:42:09"});
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) +
                                         "part#=KMB-P0009\nserial#=KMB-S0000009\nrev#=B1\nethaddr=02:00:4b:4d:42:09\n" +
                                         kmb_cycle(70) + top_cycle()));
}

TEST_F(MenuTranscript, PreProductionRevisionIsWarnedAtEveryMenu)
{
    const SimRun r = run("help\nexit\n", {"--env", "rev#=03"});
    const std::string cycle = top_menu(kShippedVersion) + pre_production_warning("03") + kTopPrompt;
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + cycle + cycle));
}

TEST_F(MenuTranscript, RefusesToRunOutsideTheFixture)
{
    const SimRun r = run("exit\n", {"--fault", "no-fixture"});
    EXPECT_EQ(r.out, kNotInFixture);
    EXPECT_EQ(r.exit_status, 1);
}

} // namespace
} // namespace kmb::test
