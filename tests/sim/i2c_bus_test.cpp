// The simulated card's I2C bus as i2c-dev serves it, in what no diagnostic test reaches: the
// SMBus transfers the LM77 service never makes (start-up's trace pins the byte order of the
// word and byte-data ones) and the requests a node refuses. (The fault layer's refusals are the
// fault-coverage runs': every rule of the catalogue, the daemon's counted ones too.)
#include <gtest/gtest.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/chips/i2c_bus.h"
#include "sim/core/clock.h"
#include "sim/core/trace.h"
#include "sim/kernel/i2c_dev_node.h"

namespace kmb::sim {
namespace {

constexpr uint16_t kSlave = 0x48;

// A slave that notes every transfer as "w 01 02" or "r 2" and answers reads from a script.
class Recorder final : public I2cDevice {
public:
    bool i2c_write(const uint8_t* data, std::size_t count) override
    {
        std::string line = "w";
        for (std::size_t i = 0; i < count; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, " %02x", data[i]);
            line += byte;
        }
        log.push_back(line);
        return true;
    }
    bool i2c_read(uint8_t* data, std::size_t count) override
    {
        log.push_back("r " + std::to_string(count));
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = i < reply.size() ? reply[i] : 0xEE;
        }
        return true;
    }

    std::vector<uint8_t> reply;
    std::vector<std::string> log;
};

struct Bench {
    Bench()
    {
        bus.attach(kSlave, &recorder);
        trace.enable(true);
    }
    int smbus(uint8_t read_write, uint8_t command, uint32_t size, i2c_smbus_data* data)
    {
        i2c_smbus_ioctl_data args{};
        args.read_write = read_write;
        args.command = command;
        args.size = size;
        args.data = data;
        return node.ioctl(I2C_SMBUS, reinterpret_cast<unsigned long>(&args));
    }

    VirtualClock clock{0, 0.0};
    Trace trace;
    I2cBus bus{clock, trace};
    Recorder recorder;
    I2cDevNode node{"/dev/i2c/0", bus, trace};
};

TEST(SimI2c, BindChecksTheAddressAndIsTracedWithItsRequestNumber)
{
    struct Case {
        unsigned long request;
        unsigned long address;
        int error; // 0: bound
    };
    const Case cases[] = {
        {I2C_SLAVE_FORCE, kSlave, 0}, {I2C_SLAVE, kSlave, 0},      {I2C_SLAVE, 0x18, ENXIO},
        {I2C_SLAVE, 0x00, ENXIO},     {I2C_SLAVE, 0x80, EINVAL},   {I2C_SLAVE_FORCE, ~0UL, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "request 0x" << std::hex << c.request << " address 0x" << c.address);
        Bench b;
        errno = 0;
        EXPECT_EQ(b.node.ioctl(c.request, c.address), c.error == 0 ? 0 : -1);
        EXPECT_EQ(errno, c.error);
        char expected[64];
        std::snprintf(expected, sizeof expected, "ioctl /dev/i2c/0 0x%04lx 0x%02lx", c.request, c.address);
        EXPECT_EQ(b.trace.lines().at(0), expected);
    }
}

TEST(SimI2c, SmbusTransfersBecomePlainMessages)
{
    struct Case {
        const char* what;
        uint8_t read_write;
        uint32_t size;
        uint8_t command;
        uint16_t word_in;
        std::vector<uint8_t> reply;
        std::vector<std::string> traffic;
        uint16_t result;
    };
    const Case cases[] = {
        {"quick write", I2C_SMBUS_WRITE, I2C_SMBUS_QUICK, 0, 0, {}, {"w"}, 0},
        {"write byte", I2C_SMBUS_WRITE, I2C_SMBUS_BYTE, 0x42, 0, {}, {"w 42"}, 0},
        {"read byte", I2C_SMBUS_READ, I2C_SMBUS_BYTE, 0x42, 0, {0x99}, {"r 1"}, 0x99},
        {"read word", I2C_SMBUS_READ, I2C_SMBUS_WORD_DATA, 0x00, 0, {0xCD, 0xAB}, {"w 00", "r 2"}, 0xABCD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kSlave), 0);
        b.recorder.reply = c.reply;
        i2c_smbus_data data{};
        if (c.size == I2C_SMBUS_WORD_DATA) {
            data.word = c.word_in;
        } else {
            data.byte = static_cast<uint8_t>(c.word_in); // a union: on the card byte is not word's low half
        }
        EXPECT_EQ(b.smbus(c.read_write, c.command, c.size, &data), 0);
        EXPECT_EQ(b.recorder.log, c.traffic);
        if (c.read_write == I2C_SMBUS_READ) {
            EXPECT_EQ(c.size == I2C_SMBUS_WORD_DATA ? data.word : data.byte, c.result);
        }
    }
}

TEST(SimI2c, RefusedRequestsTouchNoSlave)
{
    struct Case {
        uint8_t read_write;
        uint32_t size;
        bool with_data;
    };
    const Case cases[] = {
        {I2C_SMBUS_WRITE, I2C_SMBUS_PROC_CALL, true}, {I2C_SMBUS_READ, I2C_SMBUS_BLOCK_DATA, true},
        {2, I2C_SMBUS_BYTE_DATA, true},               {I2C_SMBUS_READ, I2C_SMBUS_BYTE_DATA, false},
        {I2C_SMBUS_WRITE, I2C_SMBUS_WORD_DATA, false},
    };
    Bench b;
    ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kSlave), 0);
    for (const Case& c : cases) {
        i2c_smbus_data data{};
        errno = 0;
        EXPECT_EQ(b.smbus(c.read_write, 0x01, c.size, c.with_data ? &data : nullptr), -1) << c.size;
        EXPECT_EQ(errno, EINVAL) << c.size;
    }
    errno = 0;
    EXPECT_EQ(b.node.ioctl(I2C_RDWR, 0), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_TRUE(b.recorder.log.empty());
}

} // namespace
} // namespace kmb::sim
