#include "devices/i2c.h"

#include <cstdio>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <syslog.h>

#include "devices/error_codes.h"
#include "devices/log.h"
#include "os/os.h"

namespace kmb {

namespace {

// The card binds with the forcing request, so that an address a kernel driver has claimed
// (the LM77's) can still be reached from user space.
constexpr unsigned long kI2cBindRequest = I2C_SLAVE_FORCE;
static_assert(I2C_SLAVE_FORCE == 0x0706);

} // namespace

const char* i2c_dev_path()
{
    static char path[16];
    if (path[0] == '\0') {
        std::snprintf(path, sizeof path, "/dev/i2c/%d", I2C_BUS_NUMBER);
    }
    return path;
}

int i2c_dev_open(int* fd, unsigned address)
{
    const char* path = i2c_dev_path();
    *fd = os::open(path, O_RDWR);
    if (*fd < 0) {
        log_msg(LOG_ERR, "Error open file %s", path);
        return ERR_I2C;
    }
    if (os::ioctl(*fd, kI2cBindRequest, static_cast<unsigned long>(address)) < 0) {
        log_msg(LOG_ERR, "Error using I2C addr 0x%x", address);
        os::close(*fd);
        return ERR_I2C;
    }
    return ERR_NONE;
}

} // namespace kmb
