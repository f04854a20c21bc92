#include "devices/agentdrv.h"

#include <cstdio>
#include <fcntl.h>
#include <syslog.h>

#include "devices/error_codes.h"
#include "devices/log.h"
#include "os/os.h"

namespace kmb {

namespace {

// One request on a descriptor of its own. `result` gets the ioctl's answer; the return value
// says whether the device could be opened.
int agentdrv_request(unsigned long request, unsigned long arg, int* result)
{
    int fd = -1;
    const int rc = agentdrv_open(&fd);
    if (rc != ERR_NONE) {
        return rc;
    }
    *result = os::ioctl(fd, request, arg);
    os::close(fd);
    return ERR_NONE;
}

} // namespace

int agentdrv_open(int* fd)
{
    char path[32];
    std::snprintf(path, sizeof path, "/dev/%s", "agentdrv");
    *fd = os::open(path, O_RDWR);
    if (*fd < 0) {
        log_msg(LOG_ERR, "Error open file %s", path);
        return ERR_DRIVER;
    }
    return ERR_NONE;
}

int agentdrv_irq_enable(int line)
{
    int ignored = 0;
    return agentdrv_request(AGENTDRV_IRQ_ENABLE, static_cast<unsigned long>(line), &ignored);
}

int agentdrv_irq_disable(int line)
{
    int ignored = 0;
    return agentdrv_request(AGENTDRV_IRQ_DISABLE, static_cast<unsigned long>(line), &ignored);
}

int agentdrv_get_status()
{
    int status = 0;
    agentdrv_request(AGENTDRV_GET_STATUS, 0, &status);
    return status;
}

int agentdrv_request3()
{
    int answer = 0;
    agentdrv_request(AGENTDRV_REQUEST3, 0, &answer);
    return answer;
}

} // namespace kmb
