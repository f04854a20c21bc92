#include "sim/core/standard_descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kmb::sim {

bool hold_standard_descriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lower ones are open by now, so open(2) hands out exactly this number.
        const int held = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (held < 0) {
            return false;
        }
        if (held != fd) {
            const int saved = errno;
            ::close(held);
            errno = saved == 0 ? EBADF : saved;
            return false;
        }
    }
    return true;
}

} // namespace kmb::sim
