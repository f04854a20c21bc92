#include "board/counter_agent.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "diag/indications.h"
#include "diag/result_line.h"
#include "os/os.h"

namespace kmb {

namespace {

struct DefaultCheck {
    uint8_t reg;
    uint8_t expected;
    const char* error;
    const char* expect_line; // carries the read value
};

constexpr DefaultCheck kDefaults[] = {
    {REG_OUTPUT, CA_DEFAULT_OUTPUT, "Error read back output port default value\n",
     "expect: 0x00         read: 0x%x\n"},
    {REG_POLARITY, CA_DEFAULT_POLARITY, "Error read back polarity default value\n",
     "expect: 0xF0         read: 0x%x\n"},
    {REG_CONFIG, CA_DEFAULT_CONFIG, "Error read back configuration default value\n",
     "expect: 0xFF         read: 0x%x\n"},
};

constexpr const char* kHints[] = {
    "** Make sure the KMB card is properly seated in the **\n",
    "** fixture, or you may have a bad I2C I/O port U5   **\n",
};

// Drives pin 7 to `level` (every other pin an input) and tells whether it reads back so.
bool pin7_follows(int fd, bool level)
{
    if (level) {
        io_port_write_reg(fd, REG_POLARITY, 0x00);
        io_port_write_reg(fd, REG_OUTPUT, 0xFF);
        io_port_write_reg(fd, REG_CONFIG, 0x7F);
    } else {
        io_port_write_reg(fd, REG_OUTPUT, 0x7F);
        io_port_write_reg(fd, REG_CONFIG, 0x7F);
    }
    os::sleep(1);
    uint8_t input = REG_INPUT;
    // A failed read leaves the register number 0 in the byte: pin 7 reads low.
    const int failed = expander_read_reg(fd, &input);
    const bool high = (input & CA_LOOP_PIN) != 0;
    return level ? high : (failed == 0 && !high);
}

} // namespace

int counter_agent_set_defaults(int fd)
{
    io_port_write_reg(fd, REG_POLARITY, CA_DEFAULT_POLARITY);
    io_port_write_reg(fd, REG_OUTPUT, CA_DEFAULT_OUTPUT);
    io_port_write_reg(fd, REG_CONFIG, CA_DEFAULT_CONFIG);
    return 0;
}

int counter_agent_check_defaults(int fd)
{
    for (const DefaultCheck& check : kDefaults) {
        uint8_t value = check.reg;
        if (expander_read_reg(fd, &value) != 0) {
            return 1;
        }
        if (value != check.expected) {
            std::printf("%s", check.error);
            std::printf(check.expect_line, value);
            return 1;
        }
    }
    return 0;
}

int counter_agent_i2c_test()
{
    indicate_clear();
    int failed = 0;
    int fd = -1;
    if (i2c_dev_open(&fd, COUNTER_AGENT_ADDRESS) != ERR_NONE) {
        std::perror("Error open i2c device");
        failed = 1;
    } else {
        failed = counter_agent_check_defaults(fd) != 0 || !pin7_follows(fd, true) || !pin7_follows(fd, false);
        counter_agent_set_defaults(fd);
        if (os::close(fd) != 0) {
            std::printf("Error closing file %s\n", i2c_dev_path());
            failed = 1;
        }
    }
    return report_result("Counter agent i2c bus test .............", failed, kHints);
}

} // namespace kmb
