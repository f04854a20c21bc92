// What stands behind one descriptor of the simulated card: a file of its file system or a
// device node. Each call answers as the card's kernel would: -1 with errno set on failure.
#pragma once

#include <cerrno>
#include <cstddef>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <termios.h>

namespace kmb::sim {

// A window that mmap() opened on a node; it stays valid after the descriptor is closed and
// goes with munmap().
class Mapping {
public:
    virtual ~Mapping() = default;
    virtual void* address() = 0;
    virtual size_t length() const = 0;
};

class OpenFile {
public:
    explicit OpenFile(std::string path) : path_(std::move(path)) {}
    virtual ~OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    const std::string& path() const { return path_; }

    virtual ssize_t read(void* buf, size_t count);
    virtual ssize_t write(const void* buf, size_t count);
    virtual int ioctl(unsigned long request, unsigned long arg);
    virtual int fcntl(int cmd, long arg);
    virtual int tcgetattr(struct termios* attr);
    virtual int tcsetattr(int action, const struct termios* attr);
    virtual int tcflush(int queue);
    // nullptr with errno set when the node cannot be mapped (ENODEV for most).
    virtual std::unique_ptr<Mapping> mmap(size_t length, int prot, int flags, off_t offset);

    // Sockets; every other node answers ENOTSOCK.
    virtual int bind(const struct sockaddr* addr, socklen_t length);
    virtual int listen(int backlog);
    virtual int connect(const struct sockaddr* addr, socklen_t length);
    // The connection taken, as a node of its own; nullptr with errno set when there is none.
    virtual std::unique_ptr<OpenFile> accept(struct sockaddr* addr, socklen_t* length);
    virtual ssize_t send(const void* buf, size_t count, int flags);
    // Called once when the last descriptor goes; a failure is reported by close().
    virtual int release() { return 0; }

protected:
    static int fail(int error)
    {
        errno = error;
        return -1;
    }

private:
    std::string path_;
};

} // namespace kmb::sim
