// The I/O expander's start-up configuration and the pass and fail lamps.
#include <gtest/gtest.h>

#include "board/io_expander.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "diag/indications.h"
#include "os/os.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

TEST(IoExpander, StartUpConfigurationWritesPolarityOutputConfigInOrder)
{
    SimCard card;
    card.clear_trace();
    EXPECT_EQ(io_expander_init(), 0);
    EXPECT_EQ(card.trace_of("i2c 0x18"),
              (std::vector<std::string>{"i2c 0x18 w 02 00", "i2c 0x18 w 01 38", "i2c 0x18 w 03 c0"}));
    sim::Pca9557& iox = card.card().fixture().io_expander();
    EXPECT_EQ(iox.read_register(REG_CONFIG), 0xC0);
    EXPECT_EQ(iox.read_register(REG_OUTPUT), 0x38);
    EXPECT_EQ(iox.read_register(REG_POLARITY), 0x00);
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(IoExpander, StartUpWritesNothingWhenTheExpanderDoesNotAnswer)
{
    SimCard card({Fault::IoxAbsent});
    card.clear_trace();
    EXPECT_EQ(io_expander_init(), 1);
    EXPECT_TRUE(card.trace_of("i2c 0x18").empty());
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(Indications, EachChangesOnlyTheLampBits)
{
    struct Step {
        void (*indicate)();
        const char* name;
        uint8_t output_after;
        bool pass_lamp;
        bool fail_lamp;
    };
    const Step steps[] = {
        {indicate_fail, "fail", 0x3A, false, true},  {indicate_fail, "fail again", 0x3A, false, true},
        {indicate_pass, "pass", 0x3C, true, false},  {indicate_pass, "pass again", 0x3C, true, false},
        {indicate_clear, "clear", 0x38, false, false}, {indicate_clear, "clear again", 0x38, false, false},
        {indicate_pass, "pass from clear", 0x3C, true, false},
    };
    SimCard card;
    ASSERT_EQ(io_expander_init(), 0);
    for (const Step& step : steps) {
        step.indicate();
        EXPECT_EQ(card.card().fixture().io_expander().read_register(REG_OUTPUT), step.output_after) << step.name;
        EXPECT_EQ(card.card().fixture().pass_lamp(), step.pass_lamp) << step.name;
        EXPECT_EQ(card.card().fixture().fail_lamp(), step.fail_lamp) << step.name;
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << step.name;
    }
}

TEST(Indications, KeepEveryOtherBitAsRead)
{
    SimCard card;
    ASSERT_EQ(io_expander_init(), 0);
    // An agent line held asserted (low) by an interrupt test must stay so across the lamps.
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, IOX_ADDRESS), 0);
    io_port_write_reg(fd, REG_OUTPUT, 0x31);
    os::close(fd);
    indicate_fail();
    EXPECT_EQ(card.card().fixture().io_expander().read_register(REG_OUTPUT), 0x33);
    indicate_pass();
    EXPECT_EQ(card.card().fixture().io_expander().read_register(REG_OUTPUT), 0x35);
}

TEST(Indications, AMissingExpanderIsPassedOverQuietly)
{
    SimCard card({Fault::IoxAbsent});
    CapturedOutput capture;
    indicate_fail();
    indicate_pass();
    indicate_clear();
    capture.stop();
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "");
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
    EXPECT_EQ(card.trace_of("i2c 0x18 w").size(), 0u);
}

} // namespace
} // namespace kmb::test
