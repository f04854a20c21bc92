// A backend that passes every call on to another one: the base of a backend that watches or
// changes a few calls (a scripted operator in front of the simulated card, say) and leaves
// the rest alone.
#pragma once

#include "os/os.h"

namespace kmb::os {

class ForwardingOs : public Os {
public:
    explicit ForwardingOs(Os& next) : next_(next) {}

    int open(const char* path, int flags, mode_t mode) override { return next_.open(path, flags, mode); }
    int close(int fd) override { return next_.close(fd); }
    ssize_t read(int fd, void* buf, size_t count) override { return next_.read(fd, buf, count); }
    ssize_t write(int fd, const void* buf, size_t count) override { return next_.write(fd, buf, count); }
    int ioctl(int fd, unsigned long request, unsigned long arg) override { return next_.ioctl(fd, request, arg); }
    int fcntl(int fd, int cmd, long arg) override { return next_.fcntl(fd, cmd, arg); }
    FILE* fopen(const char* path, const char* mode) override { return next_.fopen(path, mode); }
    int fclose(FILE* stream) override { return next_.fclose(stream); }
    int tcgetattr(int fd, struct termios* attr) override { return next_.tcgetattr(fd, attr); }
    int tcsetattr(int fd, int action, const struct termios* attr) override
    {
        return next_.tcsetattr(fd, action, attr);
    }
    int tcflush(int fd, int queue) override { return next_.tcflush(fd, queue); }
    int system(const char* command) override { return next_.system(command); }
    int sigaction(int sig, const struct sigaction* act, struct sigaction* old) override
    {
        return next_.sigaction(sig, act, old);
    }
    time_t time(time_t* out) override { return next_.time(out); }
    unsigned sleep(unsigned seconds) override { return next_.sleep(seconds); }
    int usleep(useconds_t usec) override { return next_.usleep(usec); }
    void openlog(const char* ident, int option, int facility) override { next_.openlog(ident, option, facility); }
    void closelog() override { next_.closelog(); }
    void syslog(int priority, const char* message) override { next_.syslog(priority, message); }
    char* read_line(char* buf, int size) override { return next_.read_line(buf, size); }

protected:
    Os& next() { return next_; }

private:
    Os& next_;
};

} // namespace kmb::os
