// The seam's backend for the simulated card: descriptors, streams, the clock, the shell and
// the console, all answered by a Card.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unistd.h>

#include "os/os.h"
#include "sim/card/card.h"
#include "sim/console/console_input.h"
#include "sim/console/console_line.h"

namespace kmb::sim {

class SimOs final : public os::Os {
public:
    explicit SimOs(Card& card) : card_(card) {}
    ~SimOs() override;

    // The console reads this text instead of standard input (for tests).
    void set_console_input(const std::string& text);

    // The console's output line: it is told when the operator waits at a prompt (by then the
    // line has carried everything out).
    void attach_console_line(ConsoleLine* line) { console_line_ = line; }

    // Watches the host's standard input: once it has ended (a script's last byte read into the
    // console's line buffer, Ctrl-D at a terminal), the operator has hung up and the line stays
    // down: while the program is not reading it, it gets a Ctrl-C, so that every looped test
    // ends after its pass, and the lines typed ahead are read in turn by the prompts.
    // Safe to call from the console's output path: it reads the input with read(2) and never
    // touches a stdio stream.
    void watch_for_hang_up(bool on) { hang_up_watch_ = on; }
    void check_hang_up();

    // Descriptors and streams the program holds open right now. The card's kernel would not
    // tell; the fixture can, and tests hold the program to none between operations.
    // A mapping left in place counts too: it holds the node as a descriptor would.
    int open_descriptor_count() const
    {
        return static_cast<int>(files_.size() + streams_.size() + mappings_.size());
    }
    std::string open_descriptor_names() const;

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

private:
    OpenFile* file(int fd);
    int install(std::unique_ptr<OpenFile> f);

    Card& card_;
    std::map<int, std::unique_ptr<OpenFile>> files_;
    struct Stream {
        std::string path;
        std::unique_ptr<std::string> text; // what a kernel file's stream reads from
    };
    std::map<FILE*, Stream> streams_;
    std::map<void*, std::unique_ptr<Mapping>> mappings_;
    ConsoleInput console_{STDIN_FILENO}; // the operator's input, or a test's script
    bool scripted_ = false;
    bool checking_ = false; // inside check_hang_up: it never calls into itself
    ConsoleLine* console_line_ = nullptr;
    bool hang_up_watch_ = false;
    bool reading_ = false; // at a prompt: the end of input is the prompt's to meet
};

} // namespace kmb::sim
