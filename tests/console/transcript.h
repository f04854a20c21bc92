// Comparing what the simulated card's console printed with the transcript the operator must
// see. "@TIME@" in an expected transcript stands for a clock time hh:mm:ss, which moves with
// the card's own waits.
#pragma once

#include <string>

#include <gtest/gtest.h>

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

} // namespace kmb::test
