#include "sim/kernel/net/inet_socket.h"

#include <fcntl.h>

namespace kmb::sim {

InetSocket::InetSocket(TcpStack& stack, Eth0& eth0, std::shared_ptr<TcpSocket> socket, bool tcp)
    : OpenFile("socket"), stack_(stack), eth0_(eth0), socket_(std::move(socket)), tcp_(tcp)
{
}

InetSocket::~InetSocket() { stack_.close(*socket_); }

ssize_t InetSocket::read(void* buf, size_t count)
{
    return tcp_ ? stack_.read(*socket_, buf, count) : fail(EAGAIN);
}

ssize_t InetSocket::write(const void* buf, size_t count) { return send(buf, count, 0); }

int InetSocket::ioctl(unsigned long request, unsigned long arg) { return eth0_.ioctl(request, arg); }

int InetSocket::fcntl(int cmd, long arg)
{
    switch (cmd) {
    case F_GETFL:
        return O_RDWR | (stack_.nonblocking(*socket_) ? O_NONBLOCK : 0);
    case F_SETFL:
        stack_.set_nonblocking(*socket_, (arg & O_NONBLOCK) != 0);
        return 0;
    case F_GETFD:
    case F_SETFD:
        return 0;
    default:
        return fail(EINVAL);
    }
}

int InetSocket::bind(const struct sockaddr* addr, socklen_t length)
{
    return tcp_ ? stack_.bind(*socket_, addr, length) : fail(EOPNOTSUPP);
}

int InetSocket::listen(int backlog) { return tcp_ ? stack_.listen(*socket_, backlog) : fail(EOPNOTSUPP); }

int InetSocket::connect(const struct sockaddr* addr, socklen_t length)
{
    return tcp_ ? stack_.connect(*socket_, addr, length) : fail(EOPNOTSUPP);
}

std::unique_ptr<OpenFile> InetSocket::accept(struct sockaddr* addr, socklen_t* length)
{
    if (!tcp_) {
        errno = EOPNOTSUPP;
        return nullptr;
    }
    std::shared_ptr<TcpSocket> child = stack_.accept(*socket_, addr, length);
    if (!child) {
        return nullptr;
    }
    return std::make_unique<InetSocket>(stack_, eth0_, std::move(child), true);
}

ssize_t InetSocket::send(const void* buf, size_t count, int)
{
    return tcp_ ? stack_.send(*socket_, buf, count) : fail(EDESTADDRREQ);
}

int InetSocket::release()
{
    stack_.close(*socket_);
    return 0;
}

} // namespace kmb::sim
