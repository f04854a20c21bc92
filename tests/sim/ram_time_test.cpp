// The card's memory takes the card's time for its work, at the card's bandwidth: what calloc
// clears and what the memory test writes and reads back. (That the looped memory test's passes
// take that time is the memory menu's transcript.)
#include <gtest/gtest.h>

#include "sim/chips/ram.h"

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

} // namespace
} // namespace kmb::test
