// The counter agent bus test against a healthy port and against the faults a fixture has.
#include <gtest/gtest.h>

#include "board/counter_agent.h"
#include "board/io_expander.h"
#include "devices/i2c.h"
#include "os/os.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

const std::string kLabel = "Counter agent i2c bus test .............";
const std::string kHints = "** Make sure the KMB card is properly seated in the **\n"
                           "** fixture, or you may have a bad I2C I/O port U5   **\n";

struct Case {
    const char* what;
    std::vector<Fault> faults;
    int result;
    std::string out;
    std::string err;
    uint8_t output_after; // the counter agent's output latch as the bus reads it afterwards
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.what; }

class CounterAgentTest : public ::testing::TestWithParam<Case> {};

TEST_P(CounterAgentTest, VerdictFollowsThePort)
{
    const Case& c = GetParam();
    SimCard card(c.faults);
    const bool lamps_reachable = io_expander_init() == 0;
    indicate_fail();
    CapturedOutput capture;
    const int result = counter_agent_i2c_test();
    capture.stop();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(capture.out(), c.out);
    EXPECT_EQ(capture.err(), c.err);
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();

    if (lamps_reachable) {
        const uint8_t lamps = c.result == 0 ? IOX_PASS : IOX_FAIL;
        EXPECT_EQ(card.card().fixture().io_expander().read_register(REG_OUTPUT), 0x38 | lamps);
    }
    if (!card.card().i2c().answers(COUNTER_AGENT_ADDRESS) || !lamps_reachable) {
        return;
    }
    // Whatever happened, the port is left at its defaults: every pin an input.
    sim::Pca9557& port = card.card().fixture().counter_agent();
    EXPECT_EQ(port.read_register(REG_POLARITY), CA_DEFAULT_POLARITY);
    EXPECT_EQ(port.read_register(REG_OUTPUT), c.output_after);
    EXPECT_EQ(port.read_register(REG_CONFIG), CA_DEFAULT_CONFIG);
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, CounterAgentTest,
    ::testing::Values(
        Case{"healthy", {}, 0, kLabel + "PASSED\n", "", 0x00},
        Case{"pin 7 stuck low", {Fault::CounterAgentPin7StuckLow}, 1, kLabel + "FAILED\n" + kHints, "", 0x00},
        Case{"output bit 0 stuck",
             {Fault::CounterAgentOutputBit0Stuck},
             1,
             "Error read back output port default value\nexpect: 0x00         read: 0x1\n" + kLabel + "FAILED\n" + kHints,
             "",
             0x01},
        Case{"absent", {Fault::CounterAgentAbsent}, 1, kLabel + "FAILED\n" + kHints,
             "Error open i2c device: No such device or address\n", 0x00},
        Case{"no bus", {Fault::I2cBusAbsent}, 1, kLabel + "FAILED\n" + kHints,
             "Error open i2c device: No such file or directory\n", 0x00}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.what; *p != '\0'; ++p) {
            if (std::isalnum(static_cast<unsigned char>(*p))) {
                name += *p;
            }
        }
        return name;
    });

TEST(CounterAgent, HealthyRunDrivesPin7HighThenLowAndRestoresTheDefaults)
{
    SimCard card;
    card.clear_trace();
    CapturedOutput capture;
    counter_agent_i2c_test();
    capture.stop();
    const std::vector<std::string> expected = {
        // the default check
        "i2c 0x1f w 01", "i2c 0x1f r 00", "i2c 0x1f w 02", "i2c 0x1f r f0", "i2c 0x1f w 03", "i2c 0x1f r ff",
        // pin 7 an output driven high, read back
        "i2c 0x1f w 02 00", "i2c 0x1f w 01 ff", "i2c 0x1f w 03 7f", "i2c 0x1f w 00", "i2c 0x1f r ff",
        // driven low, read back: the other pins are inputs pulled high
        "i2c 0x1f w 01 7f", "i2c 0x1f w 03 7f", "i2c 0x1f w 00", "i2c 0x1f r 7f",
        // the defaults again
        "i2c 0x1f w 02 f0", "i2c 0x1f w 01 00", "i2c 0x1f w 03 ff",
    };
    EXPECT_EQ(card.trace_of("i2c 0x1f"), expected);
}

TEST(CounterAgent, AFailedDefaultCheckMakesNoTrafficButTheDefaultWrite)
{
    SimCard card({Fault::CounterAgentOutputBit0Stuck});
    card.clear_trace();
    CapturedOutput capture;
    counter_agent_i2c_test();
    capture.stop();
    EXPECT_EQ(card.trace_of("i2c 0x1f"),
              (std::vector<std::string>{"i2c 0x1f w 01", "i2c 0x1f r 01", "i2c 0x1f w 02 f0", "i2c 0x1f w 01 00",
                                        "i2c 0x1f w 03 ff"}));
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
        CapturedOutput capture;
        EXPECT_EQ(counter_agent_check_defaults(fd), 1);
        capture.stop();
        EXPECT_EQ(capture.out(), step.printed);
        EXPECT_EQ(counter_agent_set_defaults(fd), 0);
        EXPECT_EQ(counter_agent_check_defaults(fd), 0);
        os::close(fd);
    }
}

TEST(CounterAgent, RegisterReadFailuresAreReportedWithTheirText)
{
    SimCard card;
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, COUNTER_AGENT_ADDRESS), 0);
    card.card().i2c().detach(COUNTER_AGENT_ADDRESS); // the port dies after the bind
    CapturedOutput capture;
    uint8_t reg = REG_OUTPUT;
    EXPECT_EQ(expander_read_reg(fd, &reg), 1);
    capture.stop();
    EXPECT_EQ(capture.err().rfind("Error write to counter agent: ", 0), 0u) << capture.err();
    os::close(fd);
}

} // namespace
} // namespace kmb::test
