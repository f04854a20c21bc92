// The reset tests' first half against the simulated card: the bytes on the counter agent's wire,
// when the card goes down and what it keeps; and the reset reason read at start-up with the
// backup image's record. (The watchdog's is the reset transcripts'.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "menu/resets.h"
#include "os/os.h"
#include "sim/core/card_reset.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

// The reason the card went down with, or -1 when `step` ran to its end without a reset.
template <typename Step>
int reset_reason_of(Step step)
{
    try {
        step();
    } catch (const sim::CardReset& reset) {
        return reset.reason;
    }
    return -1;
}

TEST(ResetTests, CounterAgentPulsesTheChosenLineAndTheCardGoesDownDuringIt)
{
    struct Case {
        int image;
        std::vector<Fault> faults;
        std::vector<std::string> wire; // the counter agent's register writes, in order
        int reason;                    // -1: the card stays up
        const char* marker;
    };
    const Case cases[] = {
        // Polarity plain, the line high, only that line an output, then low: the card resets
        // while it is held, before the test can let it go.
        {1, {}, {"i2c 0x1f w 02 00", "i2c 0x1f w 01 01", "i2c 0x1f w 03 fe", "i2c 0x1f w 01 fe"}, 0x20, "/mnt/logs/diagpri"},
        {2, {}, {"i2c 0x1f w 02 00", "i2c 0x1f w 01 02", "i2c 0x1f w 03 fd", "i2c 0x1f w 01 fd"}, 0x30, "/mnt/logs/diagsec"},
        // Lines that reach nothing: the pulse ends three seconds later and the test returns.
        {1,
         {Fault::CounterAgentResetDead},
         {"i2c 0x1f w 02 00", "i2c 0x1f w 01 01", "i2c 0x1f w 03 fe", "i2c 0x1f w 01 fe", "i2c 0x1f w 01 01"},
         -1,
         "/mnt/logs/diagpri"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        SimCard card(c.faults);
        card.os().set_console_input("y\n");
        card.clear_trace();
        CapturedOutput capture;
        int result = -1;
        const int reason = reset_reason_of([&] { result = counter_agent_reset_test(c.image); });
        capture.stop();
        EXPECT_EQ(reason, c.reason);
        EXPECT_EQ(card.card().cpld().reason(), c.reason < 0 ? 0 : c.reason);
        EXPECT_EQ(card.trace_of("i2c 0x1f w"), c.wire);
        EXPECT_TRUE(card.card().fs().exists(c.marker)) << "the verdict at the next start needs the marker";
        if (c.reason < 0) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
            // Five seconds before the pulse, three while it is held, and the bus's own time.
            EXPECT_EQ(card.card().clock().now_us() / 1'000'000, 8);
        }
    }
}

TEST(ResetTests, TheSecondImageIsRecordedWithoutTruncatingTheRecord)
{
    struct Case {
        uint8_t reason;
        std::string record; // what /var/run/backup_fw holds afterwards ("" when absent)
    };
    const Case cases[] = {
        {0x30, std::string("\x30", 1) + "B"}, // the old second byte stays: no truncation
        {0x10, std::string("\x10", 1) + "B"},
        {0x20, "AB"},                         // no backup image, the record is left alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        sim::SimConfig config;
        config.cpld_reason = c.reason;
        SimCard card(config);
        card.card().fs().write_text("/var/run/backup_fw", "AB");
        uint8_t reason = 0xEE;
        CapturedOutput capture;
        EXPECT_EQ(read_cpld_reset_reason(&reason), 0);
        capture.stop();
        EXPECT_EQ(reason, c.reason);
        char line[16];
        std::snprintf(line, sizeof line, " cpld = %x\n", c.reason);
        EXPECT_EQ(capture.out(), line);
        std::string record;
        EXPECT_TRUE(card.card().fs().read_text("/var/run/backup_fw", record));
        EXPECT_EQ(record, c.record);
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << "the one-byte window is unmapped again";
    }
    // A record the card makes itself is read-only.
    sim::SimConfig config;
    config.cpld_reason = 0x30;
    SimCard card(config);
    uint8_t reason = 0;
    CapturedOutput capture;
    read_cpld_reset_reason(&reason);
    capture.stop();
    struct stat st{};
    ASSERT_EQ(::stat(card.card().fs().host_path("/var/run/backup_fw").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

} // namespace
} // namespace kmb::test
