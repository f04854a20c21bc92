#include "sim/core/open_file.h"

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

std::unique_ptr<Mapping> OpenFile::mmap(size_t, int, int, off_t)
{
    errno = ENODEV;
    return nullptr;
}

int OpenFile::bind(const struct sockaddr*, socklen_t) { return fail(ENOTSOCK); }
int OpenFile::listen(int) { return fail(ENOTSOCK); }
int OpenFile::connect(const struct sockaddr*, socklen_t) { return fail(ENOTSOCK); }

std::unique_ptr<OpenFile> OpenFile::accept(struct sockaddr*, socklen_t*)
{
    errno = ENOTSOCK;
    return nullptr;
}

ssize_t OpenFile::send(const void*, size_t, int) { return fail(ENOTSOCK); }

} // namespace kmb::sim
