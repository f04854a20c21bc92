// The card's memory takes the card's time for its work, at the card's bandwidth: what calloc
// clears and what the memory test writes and reads back. Card time runs through a looped memory
// test as it does on the card, so a scripted Ctrl-C during one arrives in seconds, at speed 0.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/chips/ram.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

constexpr int64_t kMiB = 1024 * 1024;

TEST(RamTime, TheMemorysWorkCostsCardTimeAtItsBandwidth)
{
    sim::Faults faults;
    sim::CardRam ram(64, faults);
    int64_t spent = 0;
    ram.set_time_spent([&spent](int64_t us) { spent += us; });
    constexpr int64_t kPerUs = sim::CardRam::kBytesPerMicrosecond;

    void* cleared = ram.calloc(4, kMiB); // four MiB cleared
    ASSERT_NE(cleared, nullptr);
    EXPECT_EQ(spent, 4 * kMiB / kPerUs);
    ram.free(cleared); // its cost was its clearing
    EXPECT_EQ(spent, 4 * kMiB / kPerUs);

    spent = 0;
    void* tested = ram.malloc(8 * kMiB);
    ASSERT_NE(tested, nullptr);
    EXPECT_EQ(spent, 0); // handed out, not yet touched
    ram.free(tested);
    EXPECT_EQ(spent, 2 * 8 * kMiB / kPerUs); // written and read back

    spent = 0;
    void* small = ram.malloc(64);
    ram.free(small);
    EXPECT_EQ(spent, 0);
    EXPECT_EQ(ram.charged_us(), (4 * kMiB + 16 * kMiB) / kPerUs);
}

TEST(RamTime, AScriptedCtrlCEndsALoopedMemoryTestInSeconds)
{
    TempDir state;
    const auto started = std::chrono::steady_clock::now();
    // The operator typed ahead and stays at the line: only the Ctrl-C at 20 card seconds ends
    // the loop.
    const SimRun r = run_sim(card_args(state.path().string(), {"--sigint-at", "20"}),
                             "kmb\n91\n8\n99\nexit\n", InputEnd::HoldUntilExit, {}, 300);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_status, 1) << r.err;
    // A pass takes the card seconds; 20 of them are a handful of passes, not hundreds.
    size_t passes = 0;
    for (size_t at = r.out.find("Memory test"); at != std::string::npos; at = r.out.find("Memory test", at + 1)) {
        ++passes;
    }
    EXPECT_GE(passes, 2u);
    EXPECT_LE(passes, 40u);
    RecordProperty("wall_seconds", std::to_string(wall.count()));
}

} // namespace
} // namespace kmb::test
