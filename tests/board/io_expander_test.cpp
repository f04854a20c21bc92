// The pass and fail lamps on the I/O expander. (Its start-up configuration is
// StartUp.RunsItsStepsInOrder's wire, and a missing expander's warning StartUp's too.)
#include <gtest/gtest.h>

#include "board/io_expander.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "diag/indications.h"
#include "os/os.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

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

} // namespace
} // namespace kmb::test
