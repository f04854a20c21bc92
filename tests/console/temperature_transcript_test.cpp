// Menu number 5 and the ESS pass's temperature reading as the operator sees them, on a healthy
// card, at temperatures out of range and under each fault of the sensor's lines, once and again
// with Enter. (A looped test number is the serial and memory transcripts'.)
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

using TemperatureTranscript = SimTranscript;

struct Case {
    const char* title;
    std::vector<std::string> args;
    std::string start;   // before the spinner steps
    int steps;           // spinner steps of one run
    std::string end;     // after them
    std::string err;     // on standard error, each run
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        {"healthy", {}, current_temperature(25), kTemperatureSteps, kTemperaturePassed, ""},
        {"at 9 degrees", {"--temp", "9"}, current_temperature(9) + kLm77OutOfRange, 0, kTemperatureFailed, ""},
        {"at 56 degrees", {"--temp", "56"}, current_temperature(56) + kLm77OutOfRange, 0, kTemperatureFailed, ""},
        {"below zero", {"--temp", "-0.5"}, current_temperature(-1) + kLm77OutOfRange, 0, kTemperatureFailed, ""},
        {"no sensor", {"--fault", "lm77-absent"}, "", 0, kTemperatureFailed,
         "Error open i2c device: No such device or address\n"},
        {"temperature line stuck", {"--fault", "lm77-int-stuck"}, current_temperature(25), 1,
         kLm77IntStuck + kTemperatureFailed, ""},
        {"temperature line open", {"--fault", "lm77-int-open"}, current_temperature(25), 1,
         kLm77IntMissed + kTemperatureFailed, ""},
        {"critical line stuck", {"--fault", "lm77-crit-stuck"}, current_temperature(25), 3,
         kLm77CritStuck + kTemperatureFailed, ""},
        {"critical line open", {"--fault", "lm77-crit-open"}, current_temperature(25), 3,
         kLm77CritMissed + kTemperatureFailed, ""},
    };
    return table;
}

std::string one_run(const Case& c, int done) { return c.start + spinner(done, c.steps) + c.end; }

TEST_F(TemperatureTranscript, MenuFiveOnceAndAgainWithEnter)
{
    for (const Case& c : cases()) {
        const SimRun r = run("kmb\n5\n\n99\nexit\n", c.args);
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + one_run(c, 0) + kmb_cycle(5) +
                                             one_run(c, c.steps) + kmb_cycle(5) + top_cycle()))
            << c.title;
        EXPECT_EQ(r.err, c.err + c.err) << c.title;
    }
}

TEST_F(TemperatureTranscript, EssReadsTheTemperatureInsteadOfTestingIt)
{
    const std::pair<const char*, int> temperatures[] = {{"25", 25}, {"70", 70}, {"-12.5", -13}};
    for (const auto& [temp, celsius] : temperatures) {
        const SimRun r = run("jtk yes\ness\n2\nexit\n", {"--temp", temp});
        std::string passes;
        for (int pass = 0; pass < 2; ++pass) {
            passes += "--- Start pass " + std::to_string(pass + 1) + ".  " + kDateLine +
                      ess_tests(pass * kEssSpinnerSteps, celsius) +
                      kComprehensivePassed + "\n";
        }
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + "[Enabled] Manufacturing mode\n" + top_cycle() + kDateLine +
                                             kEssCountPrompt + "count = 2\n" + passes + "\n\n" + kDateLine +
                                             top_cycle()))
            << temp;
    }
}

TEST_F(TemperatureTranscript, ComprehensiveTestCountsTheChecksCode)
{
    // The temperature step fails inside an otherwise healthy pass, in its place in the order.
    const SimRun r = run("all\nexit\n", {"--fault", "lm77-int-open"});
    EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kComprehensiveStart +
                                         pass_tests(0, {.temperature = current_temperature(25) +
                                                                       spinner(kSerialPasses, 1) + kLm77IntMissed +
                                                                       kTemperatureFailed,
                                                        .temperature_steps = 1}) +
                                         kComprehensiveFailed + top_cycle()));
}

} // namespace
} // namespace kmb::test
