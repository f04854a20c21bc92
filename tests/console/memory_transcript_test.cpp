// Menu 8, the memory access test, as the operator sees it on the healthy card and under each
// memory fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

class MemoryMenu : public SimTranscript {};

const std::string kNoEccFile = "no ECC proc file\n";
const std::string kMismatch = "Error reading data, expected = 0x@HEX@, read = 0x@HEX@\n";

TEST_F(MemoryMenu, EachFaultShowsAsTheOperatorMustSeeIt)
{
    struct Case {
        std::vector<std::string> args;
        std::string shown; // between the menu's first prompt and its next cycle
    };
    const Case cases[] = {
        {{}, memory_passed(0)},
        // The record's error byte moves while the pattern tests run; all of them passed.
        {{"--fault", "ecc-error"}, spinner(0, 10) + "ECC error happened!\n" + kMemoryFailed},
        // No record to compare: said before and after, and no verdict of its own.
        {{"--fault", "ecc-absent"}, kNoEccFile + spinner(0, 10) + kNoEccFile + kMemoryLabel + "PASSED\n"},
        // The address test reads the upper half's addresses back in the lower half, and stops
        // after the eleventh.
        {{"--fault", "mem-address-alias"},
         spinner(0, 2) + repeat(kMismatch, 11) + "too much error, exit\n" + kMemoryFailed},
        {{"--fault", "mem-tiny"}, "unable to allocate at least 2M byte memory\n" + kMemoryFailed},
        // 13 MiB leaves a process 5 MiB after the kernel and daemons: the smallest block, 4 MiB,
        // beside the test's ECC record. 12 MiB leaves 4 MiB, less the record.
        {{"--ram", "13"}, memory_passed(0)},
        {{"--ram", "12"}, "unable to allocate at least 2M byte memory\n" + kMemoryFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const SimRun r = run("kmb\n8\n99\nexit\n", c.args);
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + c.shown + kmb_cycle(8) + top_cycle()));
    }
}

TEST_F(MemoryMenu, LoopedUntilCtrlCEveryPassIsTheSame)
{
    const SimRun r = run("kmb\n91\n8\n91\n99\nexit\n", {"--ram", "13", "--sigint-at", "0.3"});
    ASSERT_EQ(r.exit_status, 1);
    int passes = 0;
    for (std::size_t at = 0; (at = r.out.find(kMemoryLabel, at)) != std::string::npos; at += kMemoryLabel.size()) {
        ++passes;
    }
    ASSERT_GE(passes, 2) << r.out;
    // Each pass writes and reads back its 4 MiB block at the card's bandwidth, some 80 ms of card
    // time: a memory that charged no time would run dozens of passes before the Ctrl-C.
    EXPECT_LE(passes, 8);
    std::string looped;
    for (int pass = 0; pass < passes; ++pass) {
        looped += memory_passed(pass * kMemorySpinnerSteps);
    }
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + "loop is enabled\n" + kmb_cycle(91) + looped +
                                         kmb_cycle(8) + "loop is disabled\n" + kmb_cycle(91) + top_cycle()));
}

} // namespace
} // namespace kmb::test
