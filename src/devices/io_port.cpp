#include "devices/io_port.h"

#include <cstdio>

#include "os/os.h"

namespace kmb {

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

} // namespace kmb
