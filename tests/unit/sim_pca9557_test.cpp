// The fixture's I/O port model, driven over the bus as the card's i2c-dev would drive it.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "board/io_port.h"
#include "sim/clock.h"
#include "sim/i2c_bus.h"
#include "sim/pca9557.h"
#include "sim/trace.h"

namespace kmb::sim {
namespace {

constexpr uint16_t kAddress = 0x1F;

struct PortOnBus {
    VirtualClock clock{0, 0.0};
    Trace trace;
    I2cBus bus{clock, trace};
    Pca9557 port;

    PortOnBus() { bus.attach(kAddress, &port); }

    void write_reg(uint8_t reg, uint8_t value)
    {
        const uint8_t bytes[2] = {reg, value};
        EXPECT_TRUE(bus.write(kAddress, bytes, sizeof bytes));
    }
    uint8_t read_reg(uint8_t reg)
    {
        EXPECT_TRUE(bus.write(kAddress, &reg, 1));
        uint8_t value = 0x5C; // not a value any case expects
        EXPECT_TRUE(bus.read(kAddress, &value, 1));
        return value;
    }
};

TEST(SimPca9557, PowerOnRegistersReadOverTheBus)
{
    const std::pair<uint8_t, uint8_t> cases[] = {
        {REG_OUTPUT, 0x00},
        {REG_POLARITY, 0xF0},
        {REG_CONFIG, 0xFF},
        {REG_INPUT, 0x0F}, // every pin pulled high, the upper four inverted
    };
    for (const auto& [reg, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "register " << int(reg));
        PortOnBus b;
        EXPECT_EQ(b.read_reg(reg), expected);
    }
}

TEST(SimPca9557, EachWritableRegisterKeepsItsOwnValue)
{
    const uint8_t regs[] = {REG_OUTPUT, REG_POLARITY, REG_CONFIG};
    const uint8_t values[] = {0x00, 0x01, 0x80, 0xA5, 0x5A, 0xFF};
    for (uint8_t reg : regs) {
        for (uint8_t value : values) {
            SCOPED_TRACE(testing::Message() << "register " << int(reg) << " value " << int(value));
            PortOnBus b;
            const uint8_t before[4] = {0, b.read_reg(REG_OUTPUT), b.read_reg(REG_POLARITY), b.read_reg(REG_CONFIG)};
            b.write_reg(reg, value);
            for (uint8_t other : regs) {
                EXPECT_EQ(b.read_reg(other), other == reg ? value : before[other]) << "register " << int(other);
            }
        }
    }
}

TEST(SimPca9557, InputRegisterDropsWrites)
{
    PortOnBus b;
    b.write_reg(REG_INPUT, 0x55);
    EXPECT_EQ(b.read_reg(REG_INPUT), 0x0F);
    EXPECT_EQ(b.read_reg(REG_OUTPUT), 0x00);
    EXPECT_EQ(b.read_reg(REG_POLARITY), 0xF0);
    EXPECT_EQ(b.read_reg(REG_CONFIG), 0xFF);
}

TEST(SimPca9557, CommandByteSelectsByItsLowTwoBits)
{
    struct Case {
        uint8_t command;
        uint8_t selects;
    };
    const Case cases[] = {{0x05, REG_OUTPUT}, {0x06, REG_POLARITY}, {0xFF, REG_CONFIG}, {0x81, REG_OUTPUT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << int(c.command));
        PortOnBus b;
        b.write_reg(c.command, 0x3C);
        EXPECT_EQ(b.read_reg(c.selects), 0x3C);
        // The read through the same odd command byte sees the same register.
        EXPECT_EQ(b.read_reg(c.command), 0x3C);
    }
}

TEST(SimPca9557, PointerStaysUntilTheNextCommandByte)
{
    PortOnBus b;
    b.write_reg(REG_POLARITY, 0x12);
    uint8_t three[3] = {};
    ASSERT_TRUE(b.bus.read(kAddress, three, sizeof three));
    EXPECT_EQ(three[0], 0x12);
    EXPECT_EQ(three[1], 0x12);
    EXPECT_EQ(three[2], 0x12);
    uint8_t again = 0;
    ASSERT_TRUE(b.bus.read(kAddress, &again, 1));
    EXPECT_EQ(again, 0x12);

    // An address-only probe is acknowledged and moves nothing.
    ASSERT_TRUE(b.bus.write(kAddress, nullptr, 0));
    ASSERT_TRUE(b.bus.read(kAddress, &again, 1));
    EXPECT_EQ(again, 0x12);

    // No auto-increment: further data bytes all land in the pointed register.
    const uint8_t burst[3] = {REG_OUTPUT, 0x11, 0x22};
    ASSERT_TRUE(b.bus.write(kAddress, burst, sizeof burst));
    EXPECT_EQ(b.read_reg(REG_OUTPUT), 0x22);
    EXPECT_EQ(b.read_reg(REG_POLARITY), 0x12);
}

TEST(SimPca9557, InputIsThePinLevelsXorPolarity)
{
    struct Case {
        const char* what;
        uint8_t config;
        uint8_t output;
        uint8_t polarity;
        uint8_t outside; // what the outside puts on the input pins
        uint8_t input;
    };
    const Case cases[] = {
        {"inputs low", 0xFF, 0x00, 0x00, 0x00, 0x00},
        {"inputs low, upper inverted", 0xFF, 0x00, 0xF0, 0x00, 0xF0},
        {"inputs mixed", 0xFF, 0xFF, 0x00, 0x96, 0x96},
        {"upper outputs, lower inputs", 0x0F, 0xA0, 0x00, 0x05, 0xA5},
        {"upper outputs, all inverted", 0x0F, 0xA0, 0xFF, 0x05, 0x5A},
        {"outputs ignore the outside", 0x00, 0x3C, 0x00, 0xFF, 0x3C},
        {"latch on an input does not show", 0xF0, 0xFF, 0x00, 0x00, 0x0F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PortOnBus b;
        const uint8_t outside = c.outside;
        b.port.set_pin_levels([outside](uint8_t driven, uint8_t levels) {
            return static_cast<uint8_t>((levels & driven) | (outside & ~driven));
        });
        b.write_reg(REG_POLARITY, c.polarity);
        b.write_reg(REG_OUTPUT, c.output);
        b.write_reg(REG_CONFIG, c.config);
        EXPECT_EQ(b.read_reg(REG_INPUT), c.input);
        EXPECT_EQ(b.port.read_register(REG_INPUT), c.input);
        // Reading the input again re-derives it from the pins.
        EXPECT_EQ(b.read_reg(REG_INPUT), c.input);
    }
}

TEST(SimPca9557, PinLevelsCanOverruleAnOutput)
{
    PortOnBus b;
    b.port.set_pin_levels([](uint8_t driven, uint8_t levels) {
        return static_cast<uint8_t>(((levels & driven) | ~driven) & ~0x80); // pin 7 grounded
    });
    b.write_reg(REG_POLARITY, 0x00);
    b.write_reg(REG_OUTPUT, 0xFF);
    b.write_reg(REG_CONFIG, 0x7F);
    EXPECT_EQ(b.read_reg(REG_INPUT), 0x7F);
    EXPECT_EQ(b.read_reg(REG_OUTPUT), 0xFF); // the latch still holds what was written
}

TEST(SimPca9557, StuckLatchBitReadsAndDrivesOne)
{
    PortOnBus b;
    b.port.set_output_stuck_high(0x01);
    int shown = 0;
    b.port.set_stuck_shown([&shown] { ++shown; });
    std::vector<std::pair<uint8_t, uint8_t>> driven;
    b.port.set_outputs_changed([&driven](uint8_t d, uint8_t l) { driven.emplace_back(d, l); });

    b.write_reg(REG_OUTPUT, 0x00);
    EXPECT_EQ(shown, 0) << "nothing is driven and nothing has been read";
    EXPECT_EQ(b.read_reg(REG_OUTPUT), 0x01);
    EXPECT_EQ(shown, 1);

    b.write_reg(REG_POLARITY, 0x00);
    b.write_reg(REG_CONFIG, 0xFE);
    ASSERT_EQ(driven.size(), 1u);
    EXPECT_EQ(driven[0], std::make_pair(uint8_t{0x01}, uint8_t{0x01}));
    EXPECT_EQ(b.read_reg(REG_INPUT) & 0x01, 0x01);

    // Written 1, the stuck bit changes nothing and shows nothing.
    PortOnBus c;
    c.port.set_output_stuck_high(0x01);
    int c_shown = 0;
    c.port.set_stuck_shown([&c_shown] { ++c_shown; });
    c.write_reg(REG_OUTPUT, 0x81);
    EXPECT_EQ(c.read_reg(REG_OUTPUT), 0x81);
    c.write_reg(REG_OUTPUT, 0xFE);
    EXPECT_EQ(c.read_reg(REG_OUTPUT), 0xFF);
    EXPECT_EQ(c_shown, 1);
}

TEST(SimPca9557, OutputsChangedOnlyWhenTheDriveChanges)
{
    struct Step {
        uint8_t reg;
        uint8_t value;
        bool told;
        uint8_t driven;
        uint8_t levels;
    };
    // From power-on: every pin an input, latch 0x00.
    const Step steps[] = {
        {REG_OUTPUT, 0x0F, false, 0, 0},       // latch moves under input pins only
        {REG_POLARITY, 0x00, false, 0, 0},     // polarity drives nothing
        {REG_CONFIG, 0xFE, true, 0x01, 0x01},  // pin 0 starts driving its latch
        {REG_OUTPUT, 0x0E, true, 0x01, 0x00},  // pin 0 goes low
        {REG_OUTPUT, 0x02, false, 0, 0},       // only an input pin's latch bit moved
        {REG_OUTPUT, 0x02, false, 0, 0},       // the same value again
        {REG_CONFIG, 0xFC, true, 0x03, 0x02},  // pin 1 joins, high
        {REG_CONFIG, 0xFF, true, 0x00, 0x00},  // all released
        {REG_INPUT, 0x00, false, 0, 0},        // read-only register
    };
    PortOnBus b;
    int calls = 0;
    uint8_t seen_driven = 0;
    uint8_t seen_levels = 0;
    b.port.set_outputs_changed([&](uint8_t d, uint8_t l) {
        ++calls;
        seen_driven = d;
        seen_levels = l;
    });
    int step = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "step " << step++);
        const int before = calls;
        b.write_reg(s.reg, s.value);
        ASSERT_EQ(calls - before, s.told ? 1 : 0);
        if (s.told) {
            EXPECT_EQ(seen_driven, s.driven);
            EXPECT_EQ(seen_levels & seen_driven, s.levels);
        }
    }
}

} // namespace
} // namespace kmb::sim
