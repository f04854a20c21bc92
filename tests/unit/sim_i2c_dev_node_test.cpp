// /dev/i2c/0 as i2c-dev serves it: binding, plain transfers and SMBus transfers as the i2c
// core turns them into messages.
#include <gtest/gtest.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "board/io_port.h"
#include "sim/clock.h"
#include "sim/i2c_bus.h"
#include "sim/i2c_dev_node.h"
#include "sim/pca9557.h"
#include "sim/trace.h"

namespace kmb::sim {
namespace {

constexpr uint16_t kRecorder = 0x48;

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
        return ack;
    }
    bool i2c_read(uint8_t* data, std::size_t count) override
    {
        log.push_back("r " + std::to_string(count));
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = i < reply.size() ? reply[i] : 0xEE;
        }
        return ack;
    }

    bool ack = true;
    std::vector<uint8_t> reply;
    std::vector<std::string> log;
};

struct Bench {
    VirtualClock clock{0, 0.0};
    Trace trace;
    I2cBus bus{clock, trace};
    Pca9557 port;
    Recorder recorder;
    I2cDevNode node{"/dev/i2c/0", bus};

    Bench()
    {
        bus.attach(COUNTER_AGENT_ADDRESS, &port);
        bus.attach(kRecorder, &recorder);
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
};

TEST(SimI2cDevNode, BindingChecksTheAddress)
{
    struct Case {
        unsigned long request;
        unsigned long address;
        int error; // 0: bound
    };
    const Case cases[] = {
        {I2C_SLAVE, COUNTER_AGENT_ADDRESS, 0},
        {I2C_SLAVE_FORCE, COUNTER_AGENT_ADDRESS, 0},
        {I2C_SLAVE_FORCE, kRecorder, 0},
        {I2C_SLAVE, 0x18, ENXIO},       // nothing answers there
        {I2C_SLAVE_FORCE, 0x57, ENXIO},
        {I2C_SLAVE, 0x00, ENXIO},
        {I2C_SLAVE, 0x7F, ENXIO},
        {I2C_SLAVE, 0x80, EINVAL},      // not a 7-bit address
        {I2C_SLAVE_FORCE, 0x11F, EINVAL},
        {I2C_SLAVE, ~0UL, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "request 0x" << std::hex << c.request << " address 0x" << c.address);
        Bench b;
        errno = 0;
        const int rc = b.node.ioctl(c.request, c.address);
        if (c.error == 0) {
            EXPECT_EQ(rc, 0);
        } else {
            EXPECT_EQ(rc, -1);
            EXPECT_EQ(errno, c.error);
        }
    }
}

TEST(SimI2cDevNode, ReadAndWriteReachTheBoundSlave)
{
    Bench b;
    ASSERT_EQ(b.node.ioctl(I2C_SLAVE_FORCE, COUNTER_AGENT_ADDRESS), 0);
    const uint8_t set[2] = {REG_CONFIG, 0x7F};
    EXPECT_EQ(b.node.write(set, sizeof set), 2);
    EXPECT_EQ(b.port.read_register(REG_CONFIG), 0x7F);

    const uint8_t pointer = REG_POLARITY;
    EXPECT_EQ(b.node.write(&pointer, 1), 1);
    uint8_t value[2] = {};
    EXPECT_EQ(b.node.read(value, sizeof value), 2);
    EXPECT_EQ(value[0], 0xF0);
    EXPECT_EQ(value[1], 0xF0);

    // A refused bind leaves the descriptor on its old slave.
    EXPECT_EQ(b.node.ioctl(I2C_SLAVE, 0x50), -1);
    const uint8_t again[2] = {REG_OUTPUT, 0x44};
    EXPECT_EQ(b.node.write(again, sizeof again), 2);
    EXPECT_EQ(b.port.read_register(REG_OUTPUT), 0x44);
    EXPECT_TRUE(b.recorder.log.empty());
}

TEST(SimI2cDevNode, MissingAcknowledgeIsARemoteIoError)
{
    Bench b;
    auto expect_no_ack = [&b](const char* when) {
        uint8_t byte = REG_OUTPUT;
        errno = 0;
        EXPECT_EQ(b.node.write(&byte, 1), -1) << when;
        EXPECT_EQ(errno, EREMOTEIO) << when;
        errno = 0;
        EXPECT_EQ(b.node.read(&byte, 1), -1) << when;
        EXPECT_EQ(errno, EREMOTEIO) << when;
    };
    expect_no_ack("unbound: i2c-dev addresses 0, where nothing answers");
    ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kRecorder), 0);
    b.recorder.ack = false;
    expect_no_ack("a bound slave that does not acknowledge");
    i2c_smbus_data data{};
    errno = 0;
    EXPECT_EQ(b.smbus(I2C_SMBUS_READ, 0, I2C_SMBUS_WORD_DATA, &data), -1);
    EXPECT_EQ(errno, EREMOTEIO);
}

TEST(SimI2cDevNode, SmbusTransfersBecomePlainMessages)
{
    struct Case {
        const char* what;
        uint8_t read_write;
        uint32_t size;
        uint8_t command;
        uint16_t word_in; // byte or word handed to a write
        std::vector<uint8_t> reply;
        std::vector<std::string> traffic;
        uint16_t result; // byte or word a read returns
    };
    const Case cases[] = {
        {"quick write", I2C_SMBUS_WRITE, I2C_SMBUS_QUICK, 0, 0, {}, {"w"}, 0},
        {"quick read", I2C_SMBUS_READ, I2C_SMBUS_QUICK, 0, 0, {}, {"r 0"}, 0},
        {"write byte", I2C_SMBUS_WRITE, I2C_SMBUS_BYTE, 0x42, 0, {}, {"w 42"}, 0},
        {"read byte", I2C_SMBUS_READ, I2C_SMBUS_BYTE, 0x42, 0, {0x99}, {"r 1"}, 0x99},
        {"write byte data", I2C_SMBUS_WRITE, I2C_SMBUS_BYTE_DATA, 0x03, 0x7F, {}, {"w 03 7f"}, 0},
        {"read byte data", I2C_SMBUS_READ, I2C_SMBUS_BYTE_DATA, 0x02, 0, {0xAB}, {"w 02", "r 1"}, 0xAB},
        {"write word data: low byte first", I2C_SMBUS_WRITE, I2C_SMBUS_WORD_DATA, 0x01, 0x1234, {},
         {"w 01 34 12"}, 0},
        {"read word data: first byte is the low byte", I2C_SMBUS_READ, I2C_SMBUS_WORD_DATA, 0x00, 0,
         {0xCD, 0xAB}, {"w 00", "r 2"}, 0xABCD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kRecorder), 0);
        b.recorder.reply = c.reply;
        i2c_smbus_data data{};
        if (c.size == I2C_SMBUS_WORD_DATA) {
            data.word = c.word_in;
        } else {
            data.byte = static_cast<uint8_t>(c.word_in);
        }
        EXPECT_EQ(b.smbus(c.read_write, c.command, c.size, &data), 0);
        EXPECT_EQ(b.recorder.log, c.traffic);
        if (c.read_write == I2C_SMBUS_READ && c.size == I2C_SMBUS_WORD_DATA) {
            EXPECT_EQ(data.word, c.result);
        } else if (c.read_write == I2C_SMBUS_READ && c.size != I2C_SMBUS_QUICK) {
            EXPECT_EQ(data.byte, c.result);
        }
    }
}

TEST(SimI2cDevNode, SmbusByteDataReachesTheIoPortRegisters)
{
    Bench b;
    ASSERT_EQ(b.node.ioctl(I2C_SLAVE, COUNTER_AGENT_ADDRESS), 0);
    i2c_smbus_data data{};
    data.byte = 0x7F;
    ASSERT_EQ(b.smbus(I2C_SMBUS_WRITE, REG_CONFIG, I2C_SMBUS_BYTE_DATA, &data), 0);
    data.byte = 0;
    ASSERT_EQ(b.smbus(I2C_SMBUS_READ, REG_CONFIG, I2C_SMBUS_BYTE_DATA, &data), 0);
    EXPECT_EQ(data.byte, 0x7F);
    ASSERT_EQ(b.smbus(I2C_SMBUS_READ, REG_POLARITY, I2C_SMBUS_BYTE_DATA, &data), 0);
    EXPECT_EQ(data.byte, 0xF0);
}

TEST(SimI2cDevNode, RefusedRequestsTouchNoSlave)
{
    struct Case {
        const char* what;
        uint8_t read_write;
        uint32_t size;
        bool with_data;
        int error;
    };
    const Case cases[] = {
        {"process call", I2C_SMBUS_WRITE, I2C_SMBUS_PROC_CALL, true, EINVAL},
        {"block data", I2C_SMBUS_READ, I2C_SMBUS_BLOCK_DATA, true, EINVAL},
        {"i2c block data", I2C_SMBUS_READ, I2C_SMBUS_I2C_BLOCK_DATA, true, EINVAL},
        {"unknown size", I2C_SMBUS_READ, 99, true, EINVAL},
        {"bad direction", 2, I2C_SMBUS_BYTE_DATA, true, EINVAL},
        {"read byte data without data", I2C_SMBUS_READ, I2C_SMBUS_BYTE_DATA, false, EINVAL},
        {"write word without data", I2C_SMBUS_WRITE, I2C_SMBUS_WORD_DATA, false, EINVAL},
        {"read byte without data", I2C_SMBUS_READ, I2C_SMBUS_BYTE, false, EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bench b;
        ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kRecorder), 0);
        i2c_smbus_data data{};
        errno = 0;
        EXPECT_EQ(b.smbus(c.read_write, 0x01, c.size, c.with_data ? &data : nullptr), -1);
        EXPECT_EQ(errno, c.error);
        EXPECT_TRUE(b.recorder.log.empty());
    }

    // Quick and write-byte transfers carry no data block.
    Bench b;
    ASSERT_EQ(b.node.ioctl(I2C_SLAVE, kRecorder), 0);
    EXPECT_EQ(b.smbus(I2C_SMBUS_WRITE, 0, I2C_SMBUS_QUICK, nullptr), 0);
    EXPECT_EQ(b.smbus(I2C_SMBUS_WRITE, 0x05, I2C_SMBUS_BYTE, nullptr), 0);
    EXPECT_EQ(b.recorder.log, (std::vector<std::string>{"w", "w 05"}));

    const unsigned long others[] = {I2C_FUNCS, I2C_RDWR, I2C_TENBIT, I2C_RETRIES, 0};
    for (unsigned long request : others) {
        errno = 0;
        EXPECT_EQ(b.node.ioctl(request, 0), -1) << request;
        EXPECT_EQ(errno, ENOTTY) << request;
    }
    errno = 0;
    EXPECT_EQ(b.node.ioctl(I2C_SMBUS, 0), -1);
    EXPECT_EQ(errno, EFAULT);
}

} // namespace
} // namespace kmb::sim
