// The backend that runs on the card: each call is the real one, nothing more.
#pragma once

#include "os/os.h"

namespace kmb::os {

class LinuxOs final : public Os {
public:
    int open(const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t read(int fd, void* buf, size_t count) override;
    ssize_t write(int fd, const void* buf, size_t count) override;
    int ioctl(int fd, unsigned long request, unsigned long arg) override;
    int fcntl(int fd, int cmd, long arg) override;
    FILE* fopen(const char* path, const char* mode) override;
    int fclose(FILE* stream) override;
    int unlink(const char* path) override;
    void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) override;
    int munmap(void* addr, size_t length) override;
    int socket(int domain, int type, int protocol) override;
    int bind(int fd, const struct sockaddr* addr, socklen_t length) override;
    int listen(int fd, int backlog) override;
    int connect(int fd, const struct sockaddr* addr, socklen_t length) override;
    int accept(int fd, struct sockaddr* addr, socklen_t* length) override;
    ssize_t send(int fd, const void* buf, size_t count, int flags) override;
    void* calloc(size_t count, size_t size) override;
    void* malloc(size_t size) override;
    void free(void* block) override;
    int tcgetattr(int fd, struct termios* attr) override;
    int tcsetattr(int fd, int action, const struct termios* attr) override;
    int tcflush(int fd, int queue) override;
    int system(const char* command) override;
    int sigaction(int sig, const struct sigaction* act, struct sigaction* old) override;
    int kill(pid_t pid, int sig) override;
    time_t time(time_t* out) override;
    unsigned sleep(unsigned seconds) override;
    int usleep(useconds_t usec) override;
    void openlog(const char* ident, int option, int facility) override;
    void closelog() override;
    void syslog(int priority, const char* message) override;
    char* read_line(char* buf, int size) override;
    int msgget(key_t key, int flags) override;
    int msgsnd(int id, const void* msg, size_t size, int flags) override;
    ssize_t msgrcv(int id, void* msg, size_t size, long type, int flags) override;
    int msgctl(int id, int cmd, struct msqid_ds* buf) override;
    pid_t getpid() override;
    char* cuserid(char* buf) override;
};

// The console read shared by both backends: fgets on `in`. A line longer than the buffer is
// read in pieces; its rest answers the next read.
char* read_bounded_line(FILE* in, char* buf, int size);

} // namespace kmb::os
