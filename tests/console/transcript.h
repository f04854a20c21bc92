// Comparing what the simulated card's console printed with the transcript the operator must
// see. "@TIME@" in an expected transcript stands for a clock time hh:mm:ss, which moves with
// the card's own waits; "@HEX@" stands for the digits of a 32-bit value printed with "%x", such as
// an address that differs from run to run.
#pragma once

#include <functional>
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

// A loop stopped by Ctrl-C: `head`, then passes repeated at least `at_least` times, then
// `tail`. A pass's length in card time is the sum of its tests' waits and grows with them, so
// a test that stops a loop asks for the loop's shape, not for its number of passes.
// `pass(i)` is the text of the i-th pass, counted from 0.
::testing::AssertionResult repeats_until_ctrl_c(const std::string& out, const std::string& head,
                                                const std::function<std::string(int)>& pass, int at_least,
                                                const std::string& tail);

// A test that runs kmbdiag-sim on a card of its own, at speed 0 from the tests' epoch.
class SimTranscript : public ::testing::Test {
protected:
    SimRun run(const std::string& input, const std::vector<std::string>& extra = {})
    {
        // A script that ends with its own exit is an operator who typed ahead and stays at the
        // line until the program leaves: its loops run as the script says (a count, a Ctrl-C
        // of --sigint-at). Any other script hangs up at its end.
        const bool exits = input.size() >= 5 && input.compare(input.size() - 5, 5, "exit\n") == 0;
        return run_sim(card_args(state_.path().string(), extra), input, exits ? InputEnd::HoldUntilExit : InputEnd::Close);
    }
    TempDir state_;
};

} // namespace kmb::test
