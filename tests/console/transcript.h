// Comparing what the simulated card's console printed with the transcript the operator must
// see. "@TIME@" in an expected transcript stands for a clock time hh:mm:ss, which moves with
// the card's own waits; "@HEX@" stands for the digits of a 32-bit value printed with "%x", such as
// an address that differs from run to run.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {

// Where the two first differ, with some context, or "" when they match.
std::string transcript_difference(const std::string& actual, const std::string& expected);

inline ::testing::AssertionResult transcript_is(const std::string& actual, const std::string& expected)
{
    const std::string diff = transcript_difference(actual, expected);
    if (diff.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << diff;
}

std::string repeat(const std::string& text, int times);

// A test that runs kmbdiag-sim on a card of its own, at speed 0 from the tests' epoch.
class SimTranscript : public ::testing::Test {
protected:
    SimRun run(const std::string& input, const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> args = {"--state", state_.path().string(), "--speed", "0", "--start-time",
                                         std::to_string(kTestEpoch)};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_sim(args, input);
    }
    TempDir state_;
};

} // namespace kmb::test
