#include "board/io_expander.h"

#include <cstdint>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "os/os.h"

namespace kmb {

namespace {

// Start-up levels: the lamps off, both agent lines released (high), pin 5 high.
constexpr uint8_t kIoxStartOutput = 0x38;
// Pins 0 to 5 drive, 6 and 7 stay inputs.
constexpr uint8_t kIoxStartConfig = 0xC0;

} // namespace

int io_expander_init()
{
    int fd = -1;
    if (i2c_dev_open(&fd, IOX_ADDRESS) != ERR_NONE) {
        return 1;
    }
    io_port_write_reg(fd, REG_POLARITY, 0x00);
    io_port_write_reg(fd, REG_OUTPUT, kIoxStartOutput);
    io_port_write_reg(fd, REG_CONFIG, kIoxStartConfig);
    os::close(fd);
    return 0;
}

} // namespace kmb
