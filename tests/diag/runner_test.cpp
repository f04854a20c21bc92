// The runner, Ctrl-C and the yes/no words. (The spinner's bytes are the transcripts'; the
// settings saved around the test menu, MenuActions' "kmb" row and the menu transcripts'.)
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

#include "diag/options.h"

namespace kmb::test {
namespace {

// A scripted test: its results pass by pass, and a Ctrl-C pressed during one of its passes.
struct Script {
    std::vector<int> results; // the last one repeats
    int ctrl_c_in_pass = -1;  // 0-based; -1: never
    int calls = 0;
};
Script* script = nullptr;

int scripted_test()
{
    const int pass = script->calls++;
    if (pass == script->ctrl_c_in_pass) {
        std::raise(SIGINT); // through the real handler
    }
    const size_t i = std::min<size_t>(static_cast<size_t>(pass), script->results.size() - 1);
    return script->results[i];
}

class RunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        install_sigint_handler();
        set_default_options();
    }
    void TearDown() override { signal(SIGINT, SIG_DFL); }
};

TEST_F(RunnerTest, RepeatsByLoopStopOnErrorAndCtrlC)
{
    struct Case {
        const char* what;
        int loop;
        int stop_on_error;
        int pending_ctrl_c;
        std::vector<int> results;
        int ctrl_c_in_pass;
        int expected_calls;
        int expected_result;
    };
    const Case cases[] = {
        {"no loop, pass", 0, 1, 0, {0}, -1, 1, 0},
        {"no loop, fail, keep running", 0, 0, 0, {1}, -1, 1, 1},
        {"no loop, Ctrl-C pending", 0, 1, 1, {0}, -1, 1, 0},
        {"loop passes until Ctrl-C in the fourth pass", 1, 1, 0, {0}, 3, 4, 0},
        {"loop stops at the first failure", 1, 1, 0, {0, 0, 7, 0}, -1, 3, 7},
        {"loop keeps running through failures until Ctrl-C", 1, 0, 0, {1, 1, 1, 0, 1}, 4, 5, 1},
        {"loop with keep running returns the last pass", 1, 0, 0, {1, 0}, 2, 3, 0},
        {"a pending Ctrl-C lets a loop make one pass", 1, 1, 1, {0}, -1, 1, 0},
    };
    for (const Case& c : cases) {
        Script s{c.results, c.ctrl_c_in_pass, 0};
        script = &s;
        diag_options.loop = c.loop;
        diag_options.stop_on_error = c.stop_on_error;
        diag_options.interrupted = c.pending_ctrl_c;
        const int result = run_test(scripted_test);
        EXPECT_EQ(s.calls, c.expected_calls) << c.what;
        EXPECT_EQ(result, c.expected_result) << c.what;
        EXPECT_EQ(diag_options.interrupted, 0) << c.what;
    }
}

TEST_F(RunnerTest, CtrlCOnlyRaisesTheFlagAndTheHandlerStaysInstalled)
{
    std::raise(SIGINT);
    EXPECT_EQ(diag_options.interrupted, 1);
    diag_options.interrupted = 0;
    std::raise(SIGINT); // a second delivery must not end the process
    EXPECT_EQ(diag_options.interrupted, 1);
    struct sigaction current{};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, sigint_handler);
    EXPECT_NE(current.sa_flags & SA_RESTART, 0) << "an interrupted console read must resume";
}

TEST(YesNo, WordsAreMatchedOnTheirLeadingLettersInAnyCase)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"y", 1},     {"yes", 1},  {"Y\n", 1},    {"YES please", 1}, {"on", 1},  {"ON\n", 1}, {"onwards", 1},
        {"n", 2},     {"no", 2},   {"N\n", 2},    {"nope", 2},       {"off", 2}, {"OFF\n", 2}, {"offline", 2},
        {"", 0},      {"\n", 0},   {" yes", 0},   {"o", 0},          {"of", 0},  {"0", 0},     {"1", 0},
        {"true", 0},  {"enable", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_yes_no(c.text), c.expected) << '"' << c.text << '"';
    }
}

} // namespace
} // namespace kmb::test
