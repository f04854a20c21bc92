// The fixture's wiring around the two I/O ports: the pin 7 loop, the lamps, the host agent's
// interrupt lines and the reset lines. (Which port answers under which fault, and the stuck
// output bit, are seen through the diagnostic in the device-access and counter agent tests.)
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "board/io_port.h"
#include "sim/clock.h"
#include "sim/faults.h"
#include "sim/fixture.h"
#include "sim/i2c_bus.h"
#include "sim/trace.h"

namespace kmb::sim {
namespace {

struct Bench {
    VirtualClock clock{0, 0.0};
    Trace trace;
    I2cBus bus{clock, trace};
    Faults faults;
    std::unique_ptr<Fixture> fixture;

    explicit Bench(std::optional<Fault> fault = std::nullopt)
    {
        if (fault) {
            faults.enable(*fault);
        }
        fixture = std::make_unique<Fixture>(bus, faults);
    }

    void write_reg(uint16_t address, uint8_t reg, uint8_t value)
    {
        const uint8_t bytes[2] = {reg, value};
        EXPECT_TRUE(bus.write(address, bytes, sizeof bytes));
    }
    uint8_t read_reg(uint16_t address, uint8_t reg)
    {
        EXPECT_TRUE(bus.write(address, &reg, 1));
        uint8_t value = 0;
        EXPECT_TRUE(bus.read(address, &value, 1));
        return value;
    }
    void io_expander_init()
    {
        write_reg(IOX_ADDRESS, REG_POLARITY, 0x00);
        write_reg(IOX_ADDRESS, REG_OUTPUT, 0x38);
        write_reg(IOX_ADDRESS, REG_CONFIG, 0xC0);
    }
};

TEST(SimFixture, CounterAgentPin7ReadsBackItsDrive)
{
    struct Case {
        const char* what;
        std::optional<Fault> fault;
        uint8_t polarity, output, config;
        bool pin7; // bit 0x80 of REG_INPUT
        bool fired;
    };
    const Case cases[] = {
        {"driven high", std::nullopt, 0x00, 0xFF, 0x7F, true, false},
        {"driven low", std::nullopt, 0x00, 0x7F, 0x7F, false, false},
        {"floating, pulled up", std::nullopt, 0x00, 0x00, 0xFF, true, false},
        {"defaults: pulled up, read inverted", std::nullopt, 0xF0, 0x00, 0xFF, false, false},
        {"grounded, driven high", Fault::CounterAgentPin7StuckLow, 0x00, 0xFF, 0x7F, false, true},
        {"grounded, floating", Fault::CounterAgentPin7StuckLow, 0x00, 0x00, 0xFF, false, true},
        {"grounded, driven low: the short changes nothing", Fault::CounterAgentPin7StuckLow, 0x00, 0x7F, 0x7F,
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b(c.fault);
        b.write_reg(COUNTER_AGENT_ADDRESS, REG_POLARITY, c.polarity);
        b.write_reg(COUNTER_AGENT_ADDRESS, REG_OUTPUT, c.output);
        b.write_reg(COUNTER_AGENT_ADDRESS, REG_CONFIG, c.config);
        if (c.fault) {
            EXPECT_FALSE(b.faults.fired(*c.fault)) << "register writes alone do not look at the pin";
        }
        const uint8_t input = b.read_reg(COUNTER_AGENT_ADDRESS, REG_INPUT);
        EXPECT_EQ((input & CA_LOOP_PIN) != 0, c.pin7) << "input 0x" << std::hex << int(input);
        if (c.fault) {
            EXPECT_EQ(b.faults.fired(*c.fault), c.fired);
        }
    }
}

TEST(SimFixture, LampsFollowTheExpanderOutputs)
{
    struct Case {
        uint8_t output;
        uint8_t config;
        bool fail;
        bool pass;
    };
    const Case cases[] = {
        {0x38, 0xC0, false, false}, // while a test runs
        {0x3A, 0xC0, true, false},  // after start-up
        {0x3C, 0xC0, false, true},  // after a passed test
        {0x3E, 0xC0, true, true},
        {0x3E, 0xFF, false, false}, // not driven: the pull-up lights nothing
        {0x3E, 0xFD, true, false},  // only the fail pin driven
        {0x3E, 0xFB, false, true},  // only the pass pin driven
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "output 0x" << std::hex << int(c.output) << " config 0x" << int(c.config));
        Bench b;
        b.write_reg(IOX_ADDRESS, REG_POLARITY, 0x00);
        b.write_reg(IOX_ADDRESS, REG_OUTPUT, c.output);
        b.write_reg(IOX_ADDRESS, REG_CONFIG, c.config);
        EXPECT_EQ(b.fixture->fail_lamp(), c.fail);
        EXPECT_EQ(b.fixture->pass_lamp(), c.pass);
    }
    Bench power_on;
    EXPECT_FALSE(power_on.fixture->fail_lamp());
    EXPECT_FALSE(power_on.fixture->pass_lamp());
}

TEST(SimFixture, AgentLinesChangeWithTheExpanderPins)
{
    using Event = std::pair<int, bool>;
    struct Step {
        uint8_t reg;
        uint8_t value;
        std::vector<Event> events;
    };
    const Step steps[] = {
        {REG_POLARITY, 0x00, {}},
        {REG_OUTPUT, 0x38, {}},
        {REG_CONFIG, 0xC0, {}},                           // lines now driven high: no change of level
        {REG_OUTPUT, 0x3A, {}},                           // a lamp only
        {REG_OUTPUT, 0x32, {{25, false}}},                // IRQ pulse starts
        {REG_OUTPUT, 0x3A, {{25, true}}},                 // and ends
        {REG_OUTPUT, 0x2A, {{26, false}}},                // IIRQ
        {REG_OUTPUT, 0x2A, {}},                           // same level again
        {REG_OUTPUT, 0x3A, {{26, true}}},
        {REG_OUTPUT, 0x22, {{25, false}, {26, false}}},   // both in one write
        {REG_POLARITY, 0xFF, {}},                         // polarity is the port's reading, not the line
        {REG_CONFIG, 0xFF, {{25, true}, {26, true}}},     // released: pulled up
    };
    Bench b;
    std::vector<Event> seen;
    b.fixture->set_agent_line_changed([&seen](int line, bool high) { seen.emplace_back(line, high); });
    EXPECT_TRUE(b.fixture->agent_line_high(25));
    EXPECT_TRUE(b.fixture->agent_line_high(26));
    int index = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << index++);
        seen.clear();
        b.write_reg(IOX_ADDRESS, s.reg, s.value);
        EXPECT_EQ(seen, s.events);
        for (const Event& e : s.events) {
            EXPECT_EQ(b.fixture->agent_line_high(e.first), e.second);
        }
    }
}

TEST(SimFixture, CounterAgentResetLinesFollowTheirPins)
{
    Bench b;
    EXPECT_EQ(b.fixture->reset_lines(), CA_RESET_PRIMARY | CA_RESET_SECONDARY);
    // A reset pulse on the secondary line, then start-up's default write.
    const std::pair<uint8_t, uint8_t> writes[] = {
        {REG_POLARITY, 0x00}, {REG_OUTPUT, 0x02}, {REG_CONFIG, 0xFD}, {REG_OUTPUT, 0xFD}};
    for (const auto& [reg, value] : writes) {
        b.write_reg(COUNTER_AGENT_ADDRESS, reg, value);
    }
    EXPECT_EQ(b.fixture->reset_lines(), CA_RESET_PRIMARY);
    b.write_reg(COUNTER_AGENT_ADDRESS, REG_OUTPUT, 0x02);
    EXPECT_EQ(b.fixture->reset_lines(), CA_RESET_PRIMARY | CA_RESET_SECONDARY);
    b.write_reg(COUNTER_AGENT_ADDRESS, REG_POLARITY, 0xF0);
    b.write_reg(COUNTER_AGENT_ADDRESS, REG_OUTPUT, 0x00);
    EXPECT_EQ(b.fixture->reset_lines(), CA_RESET_PRIMARY) << "the latch drives low until the config write";
    b.write_reg(COUNTER_AGENT_ADDRESS, REG_CONFIG, 0xFF);
    EXPECT_EQ(b.fixture->reset_lines(), CA_RESET_PRIMARY | CA_RESET_SECONDARY);
}

} // namespace
} // namespace kmb::sim
