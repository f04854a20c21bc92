// A socket of the card's Internet family as a descriptor sees it: TCP through the card's
// stack, and the interface, ARP and driver requests that any socket carries to eth0.
#pragma once

#include <memory>

#include "sim/core/open_file.h"
#include "sim/kernel/net/eth0.h"
#include "sim/kernel/net/tcp.h"

namespace kmb::sim {

class InetSocket final : public OpenFile {
public:
    // `tcp` is false for a datagram socket, which carries requests but no TCP.
    InetSocket(TcpStack& stack, Eth0& eth0, std::shared_ptr<TcpSocket> socket, bool tcp);
    ~InetSocket() override;

    ssize_t read(void* buf, size_t count) override;
    ssize_t write(const void* buf, size_t count) override;
    int ioctl(unsigned long request, unsigned long arg) override;
    int fcntl(int cmd, long arg) override;
    int bind(const struct sockaddr* addr, socklen_t length) override;
    int listen(int backlog) override;
    int connect(const struct sockaddr* addr, socklen_t length) override;
    std::unique_ptr<OpenFile> accept(struct sockaddr* addr, socklen_t* length) override;
    ssize_t send(const void* buf, size_t count, int flags) override;
    int release() override;

private:
    TcpStack& stack_;
    Eth0& eth0_;
    std::shared_ptr<TcpSocket> socket_;
    bool tcp_;
};

} // namespace kmb::sim
