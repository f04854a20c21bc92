#include "sim/card/sim_os.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <sys/msg.h>
#include <unistd.h>

namespace kmb::sim {

namespace {

// The card's shell starts a process for each command: some tens of milliseconds on its CPU.
constexpr int64_t kShellCommandUs = 30'000;

} // namespace

SimOs::~SimOs()
{
    for (auto& [stream, info] : streams_) {
        std::fclose(stream);
    }
}

std::string SimOs::open_descriptor_names() const
{
    std::string names;
    for (const auto& [fd, f] : files_) {
        names += std::to_string(fd) + ":" + f->path() + " ";
    }
    for (const auto& [stream, info] : streams_) {
        names += "stream:" + info.path + " ";
    }
    for (const auto& [address, mapping] : mappings_) {
        names += "mapping:" + std::to_string(mapping->length()) + " ";
    }
    return names;
}

OpenFile* SimOs::file(int fd)
{
    card_.throw_if_reset();
    auto it = files_.find(fd);
    if (it == files_.end()) {
        errno = EBADF;
        return nullptr;
    }
    return it->second.get();
}

int SimOs::install(std::unique_ptr<OpenFile> f)
{
    if (!f) {
        return -1;
    }
    // The lowest free number, as the kernel hands them out; 0 to 2 are the console's.
    int fd = 3;
    while (files_.count(fd) != 0) {
        ++fd;
    }
    files_.emplace(fd, std::move(f));
    return fd;
}

int SimOs::open(const char* path, int flags, mode_t mode)
{
    card_.throw_if_reset();
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    return install(card_.open(path, flags, mode));
}

int SimOs::close(int fd)
{
    auto it = files_.find(fd);
    if (it == files_.end()) {
        errno = EBADF;
        return -1;
    }
    std::unique_ptr<OpenFile> f = std::move(it->second);
    files_.erase(it);
    return f->release();
}

ssize_t SimOs::read(int fd, void* buf, size_t count)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->read(buf, count) : -1;
}

ssize_t SimOs::write(int fd, const void* buf, size_t count)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->write(buf, count) : -1;
}

int SimOs::ioctl(int fd, unsigned long request, unsigned long arg)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->ioctl(request, arg) : -1;
}

int SimOs::fcntl(int fd, int cmd, long arg)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->fcntl(cmd, arg) : -1;
}

FILE* SimOs::fopen(const char* path, const char* mode)
{
    if (path == nullptr || mode == nullptr) {
        errno = EFAULT;
        return nullptr;
    }
    card_.throw_if_reset();
    card_.trace().note(std::string("fopen ") + path);
    std::unique_ptr<std::string> text;
    FILE* stream = nullptr;
    if (card_.is_kernel_file(path)) {
        std::optional<std::string> kernel = card_.kernel_text(path);
        if (!kernel) {
            return nullptr;
        }
        if (mode[0] != 'r' || std::strchr(mode, '+') != nullptr) {
            errno = EACCES;
            return nullptr;
        }
        text = std::make_unique<std::string>(std::move(*kernel));
        // fmemopen of an empty buffer is not portable; an empty kernel file reads as /dev/null.
        stream = text->empty() ? std::fopen("/dev/null", "r") : fmemopen(text->data(), text->size(), "r");
    } else {
        stream = card_.fs().fopen(path, mode);
    }
    if (stream != nullptr) {
        streams_.emplace(stream, Stream{path, std::move(text)});
    }
    return stream;
}

int SimOs::unlink(const char* path)
{
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    card_.throw_if_reset();
    card_.trace().note(std::string("unlink ") + path);
    return card_.fs().remove(path);
}

void* SimOs::mmap(void*, size_t length, int prot, int flags, int fd, off_t offset)
{
    OpenFile* f = file(fd);
    if (f == nullptr) {
        return MAP_FAILED;
    }
    if (length == 0) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    std::unique_ptr<Mapping> mapping = f->mmap(length, prot, flags, offset);
    if (!mapping) {
        return MAP_FAILED;
    }
    void* address = mapping->address();
    mappings_.emplace(address, std::move(mapping));
    return address;
}

int SimOs::munmap(void* addr, size_t length)
{
    const auto it = mappings_.find(addr);
    if (it == mappings_.end() || length == 0) {
        errno = EINVAL; // not the start of a window this program opened
        return -1;
    }
    mappings_.erase(it);
    return 0;
}

int SimOs::socket(int domain, int type, int protocol)
{
    card_.throw_if_reset();
    return install(card_.socket(domain, type, protocol));
}

int SimOs::bind(int fd, const struct sockaddr* addr, socklen_t length)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->bind(addr, length) : -1;
}

int SimOs::listen(int fd, int backlog)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->listen(backlog) : -1;
}

int SimOs::connect(int fd, const struct sockaddr* addr, socklen_t length)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->connect(addr, length) : -1;
}

int SimOs::accept(int fd, struct sockaddr* addr, socklen_t* length)
{
    OpenFile* f = file(fd);
    return f != nullptr ? install(f->accept(addr, length)) : -1;
}

ssize_t SimOs::send(int fd, const void* buf, size_t count, int flags)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->send(buf, count, flags) : -1;
}

void* SimOs::calloc(size_t count, size_t size)
{
    card_.throw_if_reset();
    return card_.ram().calloc(count, size);
}

void* SimOs::malloc(size_t size)
{
    card_.throw_if_reset();
    return card_.ram().malloc(size);
}

void SimOs::free(void* block) { card_.ram().free(block); }

int SimOs::fclose(FILE* stream)
{
    auto it = streams_.find(stream);
    if (it == streams_.end()) {
        errno = EBADF;
        return EOF;
    }
    const int rc = std::fclose(stream); // before the text that a kernel file's stream reads
    streams_.erase(it);
    return rc;
}

int SimOs::tcgetattr(int fd, struct termios* attr)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->tcgetattr(attr) : -1;
}

int SimOs::tcsetattr(int fd, int action, const struct termios* attr)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->tcsetattr(action, attr) : -1;
}

int SimOs::tcflush(int fd, int queue)
{
    OpenFile* f = file(fd);
    return f != nullptr ? f->tcflush(queue) : -1;
}

int SimOs::system(const char* command)
{
    card_.throw_if_reset();
    std::fflush(stdout); // the command's output follows what the program printed before it
    card_.clock().advance(kShellCommandUs);
    card_.throw_if_reset();
    if (command == nullptr) {
        return 1; // a shell is available
    }
    const int status = card_.shell().run(command);
    card_.throw_if_reset(); // a command that took the card down (rmmod of its watchdog's keeper)
    return status;
}

int SimOs::sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    // Signals are the host's own: a Ctrl-C at the fixture's console, or one that the
    // simulator raises at a scripted time, reaches the program's handler as on the card.
    return ::sigaction(sig, act, old);
}

// The card's daemons are processes of the host, so a signal to one of them is the host's own.
int SimOs::kill(pid_t pid, int sig) { return ::kill(pid, sig); }

time_t SimOs::time(time_t* out)
{
    card_.throw_if_reset();
    const time_t now = card_.clock().epoch();
    if (out != nullptr) {
        *out = now;
    }
    return now;
}

unsigned SimOs::sleep(unsigned seconds)
{
    card_.throw_if_reset();
    check_hang_up();
    card_.clock().advance(static_cast<int64_t>(seconds) * 1'000'000);
    card_.throw_if_reset();
    return 0;
}

int SimOs::usleep(useconds_t usec)
{
    card_.throw_if_reset();
    check_hang_up();
    card_.clock().advance(static_cast<int64_t>(usec));
    card_.throw_if_reset();
    return 0;
}

void SimOs::openlog(const char* ident, int option, int facility) { card_.syslog().open(ident, option, facility); }
void SimOs::closelog() { card_.syslog().close(); }
void SimOs::syslog(int priority, const char* message)
{
    const int saved = errno; // syslog(3) leaves errno as it found it
    card_.syslog().write(priority, message);
    errno = saved;
}

// The card's daemons talk over the kernel's own queues, here as on the card.
int SimOs::msgget(key_t key, int flags) { return ::msgget(key, flags); }
int SimOs::msgsnd(int id, const void* msg, size_t size, int flags) { return ::msgsnd(id, msg, size, flags); }
ssize_t SimOs::msgrcv(int id, void* msg, size_t size, long type, int flags)
{
    return ::msgrcv(id, msg, size, type, flags);
}
int SimOs::msgctl(int id, int cmd, struct msqid_ds* buf) { return ::msgctl(id, cmd, buf); }

// Each process of the card is a process of the host, so the IDs that tell them apart are real.
pid_t SimOs::getpid() { return ::getpid(); }

char* SimOs::cuserid(char* buf)
{
    static char own[L_cuserid];
    char* out = buf != nullptr ? buf : own;
    std::snprintf(out, L_cuserid, "%s", card_.login_name().c_str());
    return out;
}

} // namespace kmb::sim
