// The memory test against the card's memory and ECC record: what a dead address line reads back
// as, and the record's byte order. (Each memory fault's verdict, lamps and the blocks given back
// are menu 8's transcripts and the fault-coverage runs.)
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "board/memory.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(MemoryTest, ADeadAddressLineReadsTheAddressesWithItsBitSet)
{
    SimCard card({sim::Fault::MemAddressAlias});
    CapturedOutput capture;
    const int mismatches = memory_pattern_tests();
    const std::string out = capture.out();
    EXPECT_EQ(mismatches, MEM_ERROR_LIMIT + 1);
    // The span is a quarter of the largest block in whole steps of 4 MiB. The dead line is the
    // highest power of two inside it (at most half the span): a word whose offset has that bit
    // set is the word without it, so a word reads the address of the word one line above it.
    const uint32_t span = static_cast<uint32_t>(card.card().ram().available() / (4 * MEM_SIZE_STEP)) * MEM_SIZE_STEP;
    uint32_t dead_line = 1;
    while (dead_line * 4 <= span) {
        dead_line *= 2;
    }
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
        EXPECT_EQ(read - expected, dead_line) << out.substr(at, used);
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
