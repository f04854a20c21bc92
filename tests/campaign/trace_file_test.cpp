// The trace an engineer reads (--trace): every I2C transfer names the bus that carried it,
// while the lines a test keeps in memory stay as the bus's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "sim/chips/i2c_bus.h"
#include "sim/core/clock.h"
#include "sim/core/trace.h"
#include "sim/core/trace_file.h"

namespace kmb::sim {
namespace {

// A slave that acknowledges everything and reads 0x5a.
class Answering final : public I2cDevice {
public:
    bool i2c_write(const uint8_t*, std::size_t) override { return true; }
    bool i2c_read(uint8_t* data, std::size_t count) override
    {
        std::fill(data, data + count, 0x5a);
        return true;
    }
};

TEST(TraceFile, EveryI2cTransferNamesItsBus)
{
    VirtualClock clock{0, 0};
    Trace trace;
    trace.set_clock(&clock);
    trace.enable(true);
    char text[512] = {};
    FILE* out = fmemopen(text, sizeof text - 1, "w");
    ASSERT_NE(out, nullptr);
    TraceFile file(out);
    trace.add_sink(&file);
    Answering slave;
    I2cBus card_bus{clock, trace};
    I2cBus other_bus{clock, trace, nullptr, "/dev/i2c/1"};
    card_bus.attach(0x1f, &slave);
    const uint8_t bytes[] = {0x01, 0x00};
    uint8_t read[1] = {};
    card_bus.write(0x1f, bytes, sizeof bytes);
    card_bus.read(0x1f, read, sizeof read);
    other_bus.write(0x48, bytes, 1);
    std::fclose(out);
    // Nine clocks of 10 us a byte with the address, and the stop.
    EXPECT_STREQ(text, "0.000280 i2c 0x1f w 01 00 on /dev/i2c/0\n"
                       "0.000470 i2c 0x1f r 5a on /dev/i2c/0\n"
                       "0.000570 i2c 0x48 w nack on /dev/i2c/1\n");
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"i2c 0x1f w 01 00", "i2c 0x1f r 5a", "i2c 0x48 w nack"}));
}

} // namespace
} // namespace kmb::sim
