// The card's timers while the operator thinks at a prompt, at a speed above 0: a timer that
// falls due runs without waiting for the operator's Enter, and a line already typed is never
// made to wait for one.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "sim/console/operator_wait.h"
#include "sim/core/clock.h"

namespace kmb::test {
namespace {

// The operator's side of the console: a pipe that stays open until the test ends.
struct Console {
    Console()
    {
        int fds[2];
        if (::pipe(fds) == 0) {
            in = ::fdopen(fds[0], "r");
            typist = fds[1];
        }
    }
    ~Console()
    {
        if (in != nullptr) {
            std::fclose(in);
        }
        if (typist >= 0) {
            ::close(typist);
        }
    }
    FILE* in = nullptr;
    int typist = -1;
};

TEST(OperatorWait, TimersRunWhileThePromptWaitsAndTypedLinesDoNotWait)
{
    struct Case {
        double speed;
        int64_t due_us;    // the timer, in card time from now
        const char* typed; // before the wait
        bool timer_runs;
    };
    const Case cases[] = {
        {1e6, 2'000'000, "", true},       // two card seconds pass in two microseconds
        {1, 60'000'000, "y\n", false},    // the answer is there: read it first
        {0, 2'000'000, "", false},        // at speed 0 the console's own wait runs the timers
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        Console console;
        ASSERT_NE(console.in, nullptr);
        ASSERT_EQ(::write(console.typist, c.typed, std::char_traits<char>::length(c.typed)),
                  static_cast<ssize_t>(std::char_traits<char>::length(c.typed)));
        sim::VirtualClock clock(0, c.speed);
        bool bitten = false;
        clock.after(c.due_us, [&bitten] { bitten = true; });
        int looked = 0;
        sim::wait_for_operator(clock, console.in, [&looked] { ++looked; });
        EXPECT_EQ(bitten, c.timer_runs);
        EXPECT_EQ(clock.now_us() >= c.due_us, c.timer_runs);
        if (c.timer_runs) {
            EXPECT_GT(looked, 0) << "the card is asked after the timer's time has passed";
        }
    }
}

} // namespace
} // namespace kmb::test
