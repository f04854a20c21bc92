// A backend that passes every call on to another one: the base of a backend that watches or
// changes a few calls (a scripted operator in front of the simulated card, a real kernel with
// the card's PHY in front of it) and leaves the rest alone. Never shipped on the card.
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
    int unlink(const char* path) override { return next_.unlink(path); }
    void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) override
    {
        return next_.mmap(addr, length, prot, flags, fd, offset);
    }
    int munmap(void* addr, size_t length) override { return next_.munmap(addr, length); }
    int socket(int domain, int type, int protocol) override { return next_.socket(domain, type, protocol); }
    int bind(int fd, const struct sockaddr* addr, socklen_t length) override { return next_.bind(fd, addr, length); }
    int listen(int fd, int backlog) override { return next_.listen(fd, backlog); }
    int connect(int fd, const struct sockaddr* addr, socklen_t length) override
    {
        return next_.connect(fd, addr, length);
    }
    int accept(int fd, struct sockaddr* addr, socklen_t* length) override { return next_.accept(fd, addr, length); }
    ssize_t send(int fd, const void* buf, size_t count, int flags) override
    {
        return next_.send(fd, buf, count, flags);
    }
    void* calloc(size_t count, size_t size) override { return next_.calloc(count, size); }
    void* malloc(size_t size) override { return next_.malloc(size); }
    void free(void* block) override { next_.free(block); }
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
    int kill(pid_t pid, int sig) override { return next_.kill(pid, sig); }
    time_t time(time_t* out) override { return next_.time(out); }
    unsigned sleep(unsigned seconds) override { return next_.sleep(seconds); }
    int usleep(useconds_t usec) override { return next_.usleep(usec); }
    void openlog(const char* ident, int option, int facility) override { next_.openlog(ident, option, facility); }
    void closelog() override { next_.closelog(); }
    void syslog(int priority, const char* message) override { next_.syslog(priority, message); }
    char* read_line(char* buf, int size) override { return next_.read_line(buf, size); }
    int msgget(key_t key, int flags) override { return next_.msgget(key, flags); }
    int msgsnd(int id, const void* msg, size_t size, int flags) override { return next_.msgsnd(id, msg, size, flags); }
    ssize_t msgrcv(int id, void* msg, size_t size, long type, int flags) override
    {
        return next_.msgrcv(id, msg, size, type, flags);
    }
    int msgctl(int id, int cmd, struct msqid_ds* buf) override { return next_.msgctl(id, cmd, buf); }
    pid_t getpid() override { return next_.getpid(); }
    char* cuserid(char* buf) override { return next_.cuserid(buf); }

protected:
    Os& next() { return next_; }

private:
    Os& next_;
};

} // namespace kmb::os
