// The memory test against the card's memory and ECC record: what it leaves behind, what a dead
// address line reads back as, and the record's byte order.
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "board/io_expander.h"
#include "board/memory_test.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(MemoryTest, VerdictLampAndNothingLeftBehind)
{
    struct Case {
        std::vector<sim::Fault> faults;
        int result;
    };
    const Case cases[] = {{{}, 0}, {{sim::Fault::EccError}, 1}, {{sim::Fault::EccAbsent}, 0},
                          {{sim::Fault::MemAddressAlias}, 1}, {{sim::Fault::MemTiny}, 1}};
    for (const Case& c : cases) {
        SimCard card(c.faults);
        io_expander_init();
        CapturedOutput capture;
        const int result = memory_test();
        capture.stop();
        SCOPED_TRACE(capture.out());
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(card.card().fixture().pass_lamp(), c.result == 0);
        EXPECT_EQ(card.card().fixture().fail_lamp(), c.result != 0);
        EXPECT_EQ(card.card().ram().blocks_in_use(), 0u);
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
        for (sim::Fault f : c.faults) {
            EXPECT_TRUE(card.card().faults().fired(f));
        }
    }
}

TEST(MemoryTest, ADeadAddressLineReadsTheUpperHalfsAddresses)
{
    SimCard card({sim::Fault::MemAddressAlias});
    CapturedOutput capture;
    const int mismatches = memory_pattern_tests();
    const std::string out = capture.out();
    EXPECT_EQ(mismatches, MEM_ERROR_LIMIT + 1);
    // The span is a quarter of the largest block in whole steps of 4 MiB; its upper half shows
    // in the lower one, so each word holds the address of the word half a span above it.
    const uint32_t span = static_cast<uint32_t>(card.card().ram().available() / (4 * MEM_SIZE_STEP)) * MEM_SIZE_STEP;
    std::size_t at = out.find("Error");
    EXPECT_EQ(at, 4u) << "the address test's two spinner steps come first";
    for (int line = 0; line <= MEM_ERROR_LIMIT; ++line) {
        unsigned expected = 0;
        unsigned read = 0;
        int used = 0;
        ASSERT_EQ(std::sscanf(out.c_str() + at, "Error reading data, expected = 0x%x, read = 0x%x\n%n", &expected,
                              &read, &used),
                  2)
            << out.substr(at);
        EXPECT_EQ(read - expected, span / 2) << out.substr(at, used);
        EXPECT_EQ(expected % 4, 0u);
        at += static_cast<std::size_t>(used);
    }
    EXPECT_EQ(out.substr(at), "too much error, exit\n");
}

TEST(MemoryTest, TheEccFieldsAreTakenInTheCardsByteOrder)
{
    uint8_t record[ECC_RECORD_SIZE] = {};
    record[0] = 0x12;
    record[1] = 0x34;
    record[7] = 0x56;
    record[8] = 0x9A;
    record[9] = 0xBC;
    const EccSnapshot s = ecc_snapshot_of(record);
    EXPECT_TRUE(s.taken);
    EXPECT_EQ(s.count, 0x1234);
    EXPECT_EQ(s.status, 0x9A);
}

} // namespace
} // namespace kmb::test
