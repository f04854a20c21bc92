// The one way out of the diagnostic: every system call it makes goes through here.
//
// `Os` has one virtual member per call; the free functions below forward to the installed
// backend, so the diagnostic's code reads like ordinary Linux code (os::open, os::ioctl, ...).
// On the card the backend is LinuxOs; everywhere else it is the simulated card (SimOs).
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <sys/msg.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <termios.h>

namespace kmb::os {

class Os {
public:
    virtual ~Os() = default;

    // Files and device nodes.
    virtual int open(const char* path, int flags, mode_t mode) = 0;
    virtual int close(int fd) = 0;
    virtual ssize_t read(int fd, void* buf, size_t count) = 0;
    virtual ssize_t write(int fd, const void* buf, size_t count) = 0;
    // The third argument travels as the kernel sees it: a value or an address, by request.
    virtual int ioctl(int fd, unsigned long request, unsigned long arg) = 0;
    virtual int fcntl(int fd, int cmd, long arg) = 0;
    virtual FILE* fopen(const char* path, const char* mode) = 0;
    virtual int fclose(FILE* stream) = 0;
    virtual int unlink(const char* path) = 0;
    // A window on a device's registers (the CPLD through /dev/mem); it outlives the descriptor.
    virtual void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) = 0;
    virtual int munmap(void* addr, size_t length) = 0;

    // Sockets of the card's own network stack.
    virtual int socket(int domain, int type, int protocol) = 0;
    virtual int bind(int fd, const struct sockaddr* addr, socklen_t length) = 0;
    virtual int listen(int fd, int backlog) = 0;
    virtual int connect(int fd, const struct sockaddr* addr, socklen_t length) = 0;
    virtual int accept(int fd, struct sockaddr* addr, socklen_t* length) = 0;
    virtual ssize_t send(int fd, const void* buf, size_t count, int flags) = 0;

    // The card's main memory, as the memory test takes it.
    virtual void* calloc(size_t count, size_t size) = 0;
    virtual void* malloc(size_t size) = 0;
    virtual void free(void* block) = 0;

    // The tty layer.
    virtual int tcgetattr(int fd, struct termios* attr) = 0;
    virtual int tcsetattr(int fd, int action, const struct termios* attr) = 0;
    virtual int tcflush(int fd, int queue) = 0;

    // Processes, signals and time.
    virtual int system(const char* command) = 0;
    virtual int sigaction(int sig, const struct sigaction* act, struct sigaction* old) = 0;
    // Signal 0 only asks whether `pid` is there to be signalled.
    virtual int kill(pid_t pid, int sig) = 0;
    virtual time_t time(time_t* out) = 0;
    virtual unsigned sleep(unsigned seconds) = 0;
    virtual int usleep(useconds_t usec) = 0;

    // The system log; `message` is literal text, never a format.
    virtual void openlog(const char* ident, int option, int facility) = 0;
    virtual void closelog() = 0;
    virtual void syslog(int priority, const char* message) = 0;

    // The operator's console: one bounded line read into `buf` (at most size - 1 characters,
    // the line end kept when it fits), as fgets reads it. The rest of a longer line stays for the
    // next read, so it answers the next prompt as on the card. Returns nullptr at end of input.
    virtual char* read_line(char* buf, int size) = 0;

    // System V message queues between the card's daemons. They are the kernel's own in every
    // backend; the seam lets a backend watch them or make one fail.
    virtual int msgget(key_t key, int flags) = 0;
    virtual int msgsnd(int id, const void* msg, size_t size, int flags) = 0;
    virtual ssize_t msgrcv(int id, void* msg, size_t size, long type, int flags) = 0;
    virtual int msgctl(int id, int cmd, struct msqid_ds* buf) = 0;

    // Who this process is: its ID, and its user's login name as cuserid(3) gives it.
    virtual pid_t getpid() = 0;
    virtual char* cuserid(char* buf) = 0;
};

// Installs `backend` for every call below and returns the one it replaces. The backend must
// outlive its installation.
Os* install(Os* backend);
Os& current();

inline int open(const char* path, int flags, mode_t mode = 0) { return current().open(path, flags, mode); }
inline int close(int fd) { return current().close(fd); }
inline ssize_t read(int fd, void* buf, size_t count) { return current().read(fd, buf, count); }
inline ssize_t write(int fd, const void* buf, size_t count) { return current().write(fd, buf, count); }
inline int ioctl(int fd, unsigned long request, unsigned long value) { return current().ioctl(fd, request, value); }
template <typename T>
inline int ioctl(int fd, unsigned long request, T* address)
{
    return current().ioctl(fd, request, reinterpret_cast<unsigned long>(address));
}
inline int fcntl(int fd, int cmd, long arg = 0) { return current().fcntl(fd, cmd, arg); }
inline FILE* fopen(const char* path, const char* mode) { return current().fopen(path, mode); }
inline int fclose(FILE* stream) { return current().fclose(stream); }
inline int unlink(const char* path) { return current().unlink(path); }
inline void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return current().mmap(addr, length, prot, flags, fd, offset);
}
inline int munmap(void* addr, size_t length) { return current().munmap(addr, length); }
inline int socket(int domain, int type, int protocol) { return current().socket(domain, type, protocol); }
inline int bind(int fd, const struct sockaddr* addr, socklen_t length) { return current().bind(fd, addr, length); }
inline int listen(int fd, int backlog) { return current().listen(fd, backlog); }
inline int connect(int fd, const struct sockaddr* addr, socklen_t length)
{
    return current().connect(fd, addr, length);
}
inline int accept(int fd, struct sockaddr* addr, socklen_t* length) { return current().accept(fd, addr, length); }
inline ssize_t send(int fd, const void* buf, size_t count, int flags) { return current().send(fd, buf, count, flags); }
inline void* calloc(size_t count, size_t size) { return current().calloc(count, size); }
inline void* malloc(size_t size) { return current().malloc(size); }
inline void free(void* block) { current().free(block); }
inline int tcgetattr(int fd, struct termios* attr) { return current().tcgetattr(fd, attr); }
inline int tcsetattr(int fd, int action, const struct termios* attr) { return current().tcsetattr(fd, action, attr); }
inline int tcflush(int fd, int queue) { return current().tcflush(fd, queue); }
inline int system(const char* command) { return current().system(command); }
inline int sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    return current().sigaction(sig, act, old);
}
inline int kill(pid_t pid, int sig) { return current().kill(pid, sig); }
inline time_t time(time_t* out) { return current().time(out); }
inline unsigned sleep(unsigned seconds) { return current().sleep(seconds); }
inline int usleep(useconds_t usec) { return current().usleep(usec); }
inline void openlog(const char* ident, int option, int facility) { current().openlog(ident, option, facility); }
inline void closelog() { current().closelog(); }
inline void syslog(int priority, const char* message) { current().syslog(priority, message); }
inline char* read_line(char* buf, int size) { return current().read_line(buf, size); }
inline int msgget(key_t key, int flags) { return current().msgget(key, flags); }
inline int msgsnd(int id, const void* msg, size_t size, int flags) { return current().msgsnd(id, msg, size, flags); }
inline ssize_t msgrcv(int id, void* msg, size_t size, long type, int flags)
{
    return current().msgrcv(id, msg, size, type, flags);
}
inline int msgctl(int id, int cmd, struct msqid_ds* buf) { return current().msgctl(id, cmd, buf); }
inline pid_t getpid() { return current().getpid(); }
inline char* cuserid(char* buf) { return current().cuserid(buf); }

} // namespace kmb::os
