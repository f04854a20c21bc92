#include "board/io_expander.h"

#include <cstdio>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "os/os.h"

namespace kmb {

namespace {

// Start-up levels: the lamps off, both agent lines released (high), pin 5 high.
constexpr uint8_t IOX_START_OUTPUT = 0x38;
// Pins 0 to 5 drive, 6 and 7 stay inputs.
constexpr uint8_t IOX_START_CONFIG = 0xC0;

// Read-modify-write of the expander's output latch: only the lamp bits change.
void indicate(uint8_t set, uint8_t clear)
{
    int fd = -1;
    if (i2c_dev_open(&fd, IOX_ADDRESS) != ERR_NONE) {
        return;
    }
    uint8_t value = REG_OUTPUT;
    if (expander_read_reg(fd, &value) == 0) {
        io_port_write_reg(fd, REG_OUTPUT, static_cast<uint8_t>((value & ~clear) | set));
    }
    os::close(fd);
}

} // namespace

void io_port_write_reg(int fd, uint8_t reg, uint8_t value)
{
    const uint8_t transfer[2] = {reg, value};
    os::write(fd, transfer, sizeof transfer);
}

int expander_read_reg(int fd, uint8_t* reg)
{
    if (os::write(fd, reg, 1) != 1) {
        std::perror("Error write to counter agent");
        return 1;
    }
    if (os::read(fd, reg, 1) != 1) {
        std::perror("Error read from counter agent");
        return 1;
    }
    return 0;
}

int io_expander_init()
{
    int fd = -1;
    if (i2c_dev_open(&fd, IOX_ADDRESS) != ERR_NONE) {
        return 1;
    }
    io_port_write_reg(fd, REG_POLARITY, 0x00);
    io_port_write_reg(fd, REG_OUTPUT, IOX_START_OUTPUT);
    io_port_write_reg(fd, REG_CONFIG, IOX_START_CONFIG);
    os::close(fd);
    return 0;
}

void indicate_clear() { indicate(0, IOX_FAIL | IOX_PASS); }
void indicate_pass() { indicate(IOX_PASS, IOX_FAIL); }
void indicate_fail() { indicate(IOX_FAIL, IOX_PASS); }

} // namespace kmb
