#include "sim/open_file.h"

#include <fcntl.h>

namespace kmb::sim {

ssize_t OpenFile::read(void*, size_t) { return fail(EINVAL); }
ssize_t OpenFile::write(const void*, size_t) { return fail(EINVAL); }
int OpenFile::ioctl(unsigned long, unsigned long) { return fail(ENOTTY); }

int OpenFile::fcntl(int cmd, long)
{
    // Status flags are accepted and kept by the node types that care about them.
    if (cmd == F_GETFL || cmd == F_SETFL || cmd == F_GETFD || cmd == F_SETFD) {
        return 0;
    }
    return fail(EINVAL);
}

int OpenFile::tcgetattr(struct termios*) { return fail(ENOTTY); }
int OpenFile::tcsetattr(int, const struct termios*) { return fail(ENOTTY); }
int OpenFile::tcflush(int) { return fail(ENOTTY); }

} // namespace kmb::sim
