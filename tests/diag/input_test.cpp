// Numbers and argument columns of the operator's lines.
#include <gtest/gtest.h>

#include "diag/input.h"

namespace kmb::test {
namespace {

TEST(Input, NumbersAreReadAsAtoiReadsThemWithoutOverflow)
{
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"3\n", 3},          {"  42", 42},      {"-1\n", -1},         {"+7", 7},
        {"12abc", 12},       {"abc", 0},        {"", 0},              {"\n", 0},
        {"2147483647", 2147483647}, {"2147483648", 2147483647}, {"-2147483649", INT32_MIN},
        {"99999999999999999999999", 2147483647}, {"0x10", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_number(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(Input, ArgumentColumnsNeverReachPastTheLine)
{
    EXPECT_STREQ(text_from("loop yes\n", 5), "yes\n");
    EXPECT_STREQ(text_from("loop\n", 5), "");
    EXPECT_STREQ(text_from("loop", 5), "");
    EXPECT_STREQ(text_from("", 6), "");
    EXPECT_STREQ(text_from("count ", 6), "");
}

} // namespace
} // namespace kmb::test
