// The counter agent bus test's traffic on the port, its default check and its read failures.
// (Each fault's verdict, lamps and descriptors are the fault-coverage runs of menu 3.)
#include <gtest/gtest.h>

#include "board/counter_agent.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "os/os.h"
#include "board/printed.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

TEST(CounterAgent, TrafficOfAHealthyRunAndOfAFailedDefaultCheck)
{
    struct Case {
        std::vector<Fault> faults;
        std::vector<std::string> wire;
    };
    const Case cases[] = {
        {{},
         {
             // the default check
             "i2c 0x1f w 01", "i2c 0x1f r 00", "i2c 0x1f w 02", "i2c 0x1f r f0", "i2c 0x1f w 03", "i2c 0x1f r ff",
             // pin 7 an output driven high, read back
             "i2c 0x1f w 02 00", "i2c 0x1f w 01 ff", "i2c 0x1f w 03 7f", "i2c 0x1f w 00", "i2c 0x1f r ff",
             // driven low, read back: the other pins are inputs pulled high
             "i2c 0x1f w 01 7f", "i2c 0x1f w 03 7f", "i2c 0x1f w 00", "i2c 0x1f r 7f",
             // the defaults again
             "i2c 0x1f w 02 f0", "i2c 0x1f w 01 00", "i2c 0x1f w 03 ff",
         }},
        // A failed default check makes no traffic but the default write.
        {{Fault::CounterAgentOutputBit0Stuck},
         {"i2c 0x1f w 01", "i2c 0x1f r 01", "i2c 0x1f w 02 f0", "i2c 0x1f w 01 00", "i2c 0x1f w 03 ff"}},
    };
    for (const Case& c : cases) {
        SimCard card(c.faults);
        card.clear_trace();
        printed(counter_agent_i2c_test);
        EXPECT_EQ(card.trace_of("i2c 0x1f"), c.wire);
    }
}

TEST(CounterAgent, DefaultCheckNamesTheFirstRegisterOffItsDefault)
{
    struct Step {
        uint8_t reg;
        uint8_t value;
        std::string printed;
    };
    const Step steps[] = {
        {REG_OUTPUT, 0x80, "Error read back output port default value\nexpect: 0x00         read: 0x80\n"},
        {REG_POLARITY, 0x00, "Error read back polarity default value\nexpect: 0xF0         read: 0x0\n"},
        {REG_CONFIG, 0x7F, "Error read back configuration default value\nexpect: 0xFF         read: 0x7f\n"},
    };
    for (const Step& step : steps) {
        SimCard card;
        int fd = -1;
        ASSERT_EQ(i2c_dev_open(&fd, COUNTER_AGENT_ADDRESS), 0);
        io_port_write_reg(fd, step.reg, step.value);
        const Printed p = printed([fd] { return counter_agent_check_defaults(fd); });
        EXPECT_EQ(p.result, 1);
        EXPECT_EQ(p.out, step.printed);
        EXPECT_EQ(counter_agent_set_defaults(fd), 0);
        EXPECT_EQ(counter_agent_check_defaults(fd), 0);
        os::close(fd);
    }
}

} // namespace
} // namespace kmb::test
