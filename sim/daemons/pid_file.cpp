#include "sim/daemons/pid_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>

#include "os/os.h"

namespace kmb {

namespace {

// Takes over a file left behind this many times at most: a file that comes back after each
// removal is someone else's at work.
constexpr int kTakeOvers = 3;

} // namespace

pid_t pid_file_holder(const char* path)
{
    const int fd = os::open(path, O_RDONLY, 0);
    if (fd < 0) {
        return 0;
    }
    char text[16] = {};
    const ssize_t n = os::read(fd, text, sizeof text - 1);
    os::close(fd);
    if (n <= 0) {
        return 0;
    }
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || (*end != '\n' && *end != '\0') || pid <= 0 || pid > 0x3FFFFFFF) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

bool process_alive(pid_t pid) { return pid > 0 && (os::kill(pid, 0) == 0 || errno == EPERM); }

pid_t pid_file_claim(const char* path)
{
    for (int attempt = 0; attempt <= kTakeOvers; ++attempt) {
        const int fd = os::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            char text[16];
            const int len = std::snprintf(text, sizeof text, "%d\n", static_cast<int>(os::getpid()));
            const bool written = os::write(fd, text, static_cast<size_t>(len)) == len;
            const int why = errno;
            os::close(fd);
            if (!written) {
                os::unlink(path);
                errno = why;
                return -1;
            }
            return 0;
        }
        if (errno != EEXIST) {
            return -1;
        }
        const pid_t holder = pid_file_holder(path);
        if (holder != 0 && holder != os::getpid() && process_alive(holder)) {
            return holder;
        }
        os::unlink(path); // left by a process that is gone, or garbled
    }
    errno = EEXIST;
    return -1;
}

void pid_file_release(const char* path)
{
    if (pid_file_holder(path) == os::getpid()) {
        os::unlink(path);
    }
}

} // namespace kmb
