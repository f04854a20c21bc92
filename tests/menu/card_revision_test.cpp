// Reading the board revision out of the boot loader tool's printed line: at most 20 characters
// of name up to its '#', one character skipped, then two of revision.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "menu/card_version.h"

namespace kmb::test {
namespace {

TEST(CardRevision, ReadsTwoCharactersAfterTheNameAndItsSign)
{
    struct Case {
        std::string printed;
        const char* rev;
    };
    const Case cases[] = {
        {"rev#=A0\n", "A0"},
        {"rev#=03\n", "03"},
        {"rev#=B", "B"},
        {"", ""},
        {"no sign at all", ""},
        // 19 characters of name and its '#': found within the 20.
        {"abcdefghijklmnopqrs#=A0\n", "A0"},
        // 20 characters of name: the search ends before the '#', which is the one skipped.
        {"abcdefghijklmnopqrst#=A0\n", "=A"},
        {"abcdefghijklmnopqrstu#=A0\n", "#="},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printed);
        std::string text = c.printed;
        FILE* env = fmemopen(text.data(), text.size(), "r");
        if (text.empty()) {
            env = std::fopen("/dev/null", "r");
        }
        ASSERT_NE(env, nullptr);
        char rev[3] = {'x', 'x', 'x'};
        read_revision(env, rev);
        std::fclose(env);
        EXPECT_STREQ(rev, c.rev);
    }
}

} // namespace
} // namespace kmb::test
