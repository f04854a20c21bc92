#include "os/linux_os.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <syslog.h>
#include <unistd.h>

namespace kmb::os {

namespace {

// A Ctrl-C that lands in the read resumes it; only the end of input ends it.
int next_char(FILE* in)
{
    while (true) {
        const int c = std::fgetc(in);
        if (c != EOF || !std::ferror(in) || errno != EINTR) {
            return c;
        }
        std::clearerr(in);
    }
}

} // namespace

int LinuxOs::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int LinuxOs::close(int fd) { return ::close(fd); }
ssize_t LinuxOs::read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
ssize_t LinuxOs::write(int fd, const void* buf, size_t count) { return ::write(fd, buf, count); }
int LinuxOs::ioctl(int fd, unsigned long request, unsigned long arg) { return ::ioctl(fd, request, arg); }
int LinuxOs::fcntl(int fd, int cmd, long arg) { return ::fcntl(fd, cmd, arg); }
FILE* LinuxOs::fopen(const char* path, const char* mode) { return std::fopen(path, mode); }
int LinuxOs::fclose(FILE* stream) { return std::fclose(stream); }
int LinuxOs::unlink(const char* path) { return ::unlink(path); }
void* LinuxOs::mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}
int LinuxOs::munmap(void* addr, size_t length) { return ::munmap(addr, length); }
int LinuxOs::socket(int domain, int type, int protocol) { return ::socket(domain, type, protocol); }
int LinuxOs::bind(int fd, const struct sockaddr* addr, socklen_t length) { return ::bind(fd, addr, length); }
int LinuxOs::listen(int fd, int backlog) { return ::listen(fd, backlog); }
int LinuxOs::connect(int fd, const struct sockaddr* addr, socklen_t length) { return ::connect(fd, addr, length); }
int LinuxOs::accept(int fd, struct sockaddr* addr, socklen_t* length) { return ::accept(fd, addr, length); }
ssize_t LinuxOs::send(int fd, const void* buf, size_t count, int flags) { return ::send(fd, buf, count, flags); }
void* LinuxOs::calloc(size_t count, size_t size) { return std::calloc(count, size); }
void* LinuxOs::malloc(size_t size) { return std::malloc(size); }
void LinuxOs::free(void* block) { std::free(block); }
int LinuxOs::tcgetattr(int fd, struct termios* attr) { return ::tcgetattr(fd, attr); }
int LinuxOs::tcsetattr(int fd, int action, const struct termios* attr) { return ::tcsetattr(fd, action, attr); }
int LinuxOs::tcflush(int fd, int queue) { return ::tcflush(fd, queue); }

int LinuxOs::system(const char* command)
{
    // The child writes straight to the console's descriptor; what stdio still holds must
    // reach it first or the operator sees the lines out of order.
    std::fflush(nullptr);
    return std::system(command);
}

int LinuxOs::sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    return ::sigaction(sig, act, old);
}

int LinuxOs::kill(pid_t pid, int sig) { return ::kill(pid, sig); }
time_t LinuxOs::time(time_t* out) { return ::time(out); }
unsigned LinuxOs::sleep(unsigned seconds) { return ::sleep(seconds); }
int LinuxOs::usleep(useconds_t usec) { return ::usleep(usec); }
void LinuxOs::openlog(const char* ident, int option, int facility) { ::openlog(ident, option, facility); }
void LinuxOs::closelog() { ::closelog(); }
void LinuxOs::syslog(int priority, const char* message) { ::syslog(priority, "%s", message); }
char* LinuxOs::read_line(char* buf, int size) { return read_bounded_line(stdin, buf, size); }
int LinuxOs::msgget(key_t key, int flags) { return ::msgget(key, flags); }
int LinuxOs::msgsnd(int id, const void* msg, size_t size, int flags) { return ::msgsnd(id, msg, size, flags); }
ssize_t LinuxOs::msgrcv(int id, void* msg, size_t size, long type, int flags)
{
    return ::msgrcv(id, msg, size, type, flags);
}
int LinuxOs::msgctl(int id, int cmd, struct msqid_ds* buf) { return ::msgctl(id, cmd, buf); }
pid_t LinuxOs::getpid() { return ::getpid(); }
char* LinuxOs::cuserid(char* buf) { return ::cuserid(buf); }

char* read_bounded_line(FILE* in, char* buf, int size)
{
    if (size < 2) {
        return nullptr;
    }
    std::fflush(stdout); // the prompt has no line end; the operator must see it before we wait
    // One character at a time, so that what decides an overlong line is what was read, not
    // where a stray NUL from the terminal happens to end the text.
    int len = 0;
    bool line_end = false;
    while (len < size - 1 && !line_end) {
        const int c = next_char(in);
        if (c == EOF) {
            break;
        }
        buf[len++] = static_cast<char>(c);
        line_end = c == '\n';
    }
    if (len == 0) {
        return nullptr;
    }
    buf[len] = '\0'; // the rest of a longer line stays in the stream for the next read, as fgets leaves it
    return buf;
}

} // namespace kmb::os
