#include "diag/indications.h"

#include <cstdint>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "os/os.h"

namespace kmb {

namespace {

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

void indicate_clear() { indicate(0, IOX_FAIL | IOX_PASS); }
void indicate_pass() { indicate(IOX_PASS, IOX_FAIL); }
void indicate_fail() { indicate(IOX_FAIL, IOX_PASS); }

} // namespace kmb
