// What stands behind one descriptor of the simulated card: a file of its file system or a
// device node. Each call answers as the card's kernel would: -1 with errno set on failure.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <sys/types.h>
#include <termios.h>

namespace kmb::sim {

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
