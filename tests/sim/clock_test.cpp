// The simulated card's clock where no transcript can tell: a timer due exactly at the end of a
// wait, which console waits pull forward, and the card's 32-bit seconds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/clock.h"

namespace kmb::sim {
namespace {

TEST(VirtualClock, TimersRunInDueOrderAtTheTimeTheyFellDue)
{
    VirtualClock clock(1000, 0);
    std::vector<std::string> seen;
    clock.after(3'000'000, [&] { seen.push_back("c@" + std::to_string(clock.now_us())); });
    clock.after(1'000'000, [&] {
        seen.push_back("a@" + std::to_string(clock.now_us()));
        clock.after(500'000, [&] { seen.push_back("a2@" + std::to_string(clock.now_us())); });
    });
    clock.after(1'000'000, [&] { seen.push_back("b@" + std::to_string(clock.now_us())); });
    clock.advance(2'500'000);
    EXPECT_EQ(seen, (std::vector<std::string>{"a@1000000", "b@1000000", "a2@1500000"}));
    EXPECT_EQ(clock.now_us(), 2'500'000);
    EXPECT_EQ(clock.epoch(), 1002);
    clock.advance(0);
    clock.advance(-5);
    EXPECT_EQ(clock.now_us(), 2'500'000);
    clock.advance(500'000);
    EXPECT_EQ(seen.back(), "c@3000000") << "a timer exactly at the end of a wait runs in it";
    EXPECT_EQ(clock.next_due_us(), -1);
}

TEST(VirtualClock, ConsoleWaitPullsDeviceTimersButNotTheOperatorsEvents)
{
    VirtualClock clock(0, 0);
    bool device = false;
    bool operator_event = false;
    clock.after(5'000'000, [&] { device = true; });
    clock.after(1'000'000, [&] { operator_event = true; }, true);
    clock.console_waited(10.0); // speed 0: the wall time at the console is not the card's
    EXPECT_EQ(clock.now_us(), 0);
    clock.run_device_timers();
    EXPECT_TRUE(device);
    EXPECT_FALSE(operator_event) << "a scripted Ctrl-C only comes with the program's own waits";
    EXPECT_EQ(clock.now_us(), 5'000'000);
    clock.advance(1);
    EXPECT_TRUE(operator_event) << "overdue operator events run at the next wait";
}

TEST(VirtualClock, TheCardsSecondsAre32BitsAndWrapIn2038)
{
    VirtualClock clock(2147483646, 0);
    clock.advance(1'000'000);
    EXPECT_EQ(clock.epoch(), 2147483647);
    clock.advance(1'000'000);
    EXPECT_EQ(static_cast<int64_t>(clock.epoch()), INT32_MIN);
}

} // namespace
} // namespace kmb::sim
