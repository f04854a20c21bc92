// The reset tests across the reset: the test in the first run, the verdict at the next start,
// and no verdict at the start after that, as the operator sees them on the card's console.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

const std::string kWatchdogWarning = "WARNING: This test will reset the system, if the system\n"
                                     "         doesn't reset within 5 seconds, check your watchdog\n"
                                     "DO you want to run the test (y/n) : ";
const std::string kCounterAgentWarning = "WARNING: This test will reset the system, if the system\n"
                                         "         doesn't reset within 5 seconds, check your counter agent\n"
                                         "OK to start test? (y/n) :  ";
const std::string kMismatch = "The reset and CPLD reason doesn't match\n";

std::string cpld(const std::string& hex) { return " cpld = " + hex + "\n"; }

class ResetTranscript : public SimTranscript {
protected:
    std::string marker(const std::string& name) const { return (state_.path() / "fs/mnt/logs" / name).string(); }
    void leave_marker(const std::string& name) const { std::ofstream(marker(name)).flush(); }
};

TEST_F(ResetTranscript, EachResetTestIsJudgedAtTheNextStartOnce)
{
    struct Case {
        const char* menu;
        std::string asked;    // what the test prints after the menu's prompt, up to the reset
        bool ends_at_prompt;  // the reset comes while the menu waits (the watchdog), not in the test
        const char* marker;
        std::string reason;
        std::string verdict;
    };
    const Case cases[] = {
        {"13", kWatchdogWarning, true, "diagwd", "80", "Watchdog reset test................PASS\n"},
        {"14", kCounterAgentWarning + "Start reset KMB with primary image\n", false, "diagpri", "20",
         "Counter agent primary reset test................PASS\n"},
        {"15", kCounterAgentWarning + "Start reset KMB with secondary image\n", false, "diagsec", "30",
         "Counter agent secondary reset test................PASS\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu);
        std::filesystem::remove_all(state_.path());
        const int menu = std::stoi(c.menu);
        const SimRun armed = run(std::string("kmb\n") + c.menu + "\ny\n99\nexit\n");
        EXPECT_EQ(armed.exit_status, 3) << "the card did not reset";
        EXPECT_EQ(armed.err, "");
        EXPECT_TRUE(transcript_is(armed.out, kFreshCpld + top_cycle() + kmb_cycle(0) + c.asked +
                                                 (c.ends_at_prompt ? kmb_cycle(menu) : "")));
        EXPECT_TRUE(std::filesystem::exists(marker(c.marker)));

        const SimRun judged = run("exit\n");
        EXPECT_EQ(judged.exit_status, 1);
        EXPECT_TRUE(transcript_is(judged.out, cpld(c.reason) + c.verdict + top_cycle()));
        EXPECT_FALSE(std::filesystem::exists(marker(c.marker)));

        const SimRun after = run("exit\n");
        EXPECT_TRUE(transcript_is(after.out, cpld(c.reason) + top_cycle()));
    }
}

TEST_F(ResetTranscript, AMarkerIsJudgedAgainstWhateverTheCpldShows)
{
    struct Case {
        const char* reason;
        std::vector<const char*> markers;
        std::string shown;
    };
    const Case cases[] = {
        {"0xA0", {"diagwd"}, cpld("a0") + "Watchdog reset test................PASS\n"},
        {"0x20", {"diagwd"},
         cpld("20") + kMismatch + "It was watch dog reset, but cpld shows 0x20\nWatchdog reset test................FAIL\n"},
        {"0xA0", {"diagpri"},
         cpld("a0") + kMismatch +
             "It was primary reset, but cpld shows 0xa0\nCounter agent primary reset test................FAIL\n"},
        // Several markers at once: each judged against the same byte, in the fixed order.
        {"0x30", {"diagsec", "diagwd"},
         cpld("30") + kMismatch +
             "It was watch dog reset, but cpld shows 0x30\nWatchdog reset test................FAIL\n" +
             "Counter agent secondary reset test................PASS\n"},
        {"0x00", {}, cpld("0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::filesystem::remove_all(state_.path());
        run("exit\n"); // a new card
        for (const char* m : c.markers) {
            leave_marker(m);
        }
        const SimRun r = run("exit\n", {"--cpld", c.reason});
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(transcript_is(r.out, c.shown + top_cycle()));
        for (const char* m : c.markers) {
            EXPECT_FALSE(std::filesystem::exists(marker(m))) << m;
        }
    }
}

TEST_F(ResetTranscript, NoYesNoReset)
{
    for (const char* menu : {"13", "14", "15"}) {
        SCOPED_TRACE(menu);
        const int number = std::stoi(menu);
        const std::string asked = number == 13 ? kWatchdogWarning : kCounterAgentWarning;
        const SimRun r = run(std::string("kmb\n") + menu + "\nn\n" + menu + "\n\n99\nexit\n");
        EXPECT_EQ(r.exit_status, 1);
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + asked + kmb_cycle(number) +
                                             asked + kmb_cycle(number) + top_cycle()));
        for (const char* m : {"diagwd", "diagpri", "diagsec"}) {
            EXPECT_FALSE(std::filesystem::exists(marker(m))) << m;
        }
    }
}

TEST_F(ResetTranscript, AnUnmappedCpldGivesNoReasonAndFailsWhatIsPending)
{
    run("exit\n");
    leave_marker("diagwd");
    const SimRun r = run("exit\n", {"--fault", "cpld-unmapped", "--cpld", "0x80"});
    EXPECT_TRUE(transcript_is(r.out, "mmap error errno = 1\n" + kMismatch +
                                         "It was watch dog reset, but cpld shows 0x0\n"
                                         "Watchdog reset test................FAIL\n" +
                                         top_cycle()));
}

} // namespace
} // namespace kmb::test
