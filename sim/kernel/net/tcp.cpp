// The card's TCP stack setting up connections: sockets, their addresses and ports, listen,
// connect (inside the kernel, or out through eth0 and back when the nat rules send it there)
// and accept.
#include "sim/kernel/net/tcp.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>

#include "sim/kernel/net/tcp_socket.h"

namespace kmb::sim {

using namespace tcp_internal;

namespace {

// An IPv4 address as bind and connect take it: 0, or the errno they fail with.
int inet_address(const sockaddr* addr, socklen_t length, sockaddr_in& sin)
{
    if (addr == nullptr) {
        return EFAULT;
    }
    if (length < static_cast<socklen_t>(sizeof(sockaddr_in))) {
        return EINVAL;
    }
    std::memcpy(&sin, addr, sizeof sin);
    return sin.sin_family == AF_INET ? 0 : EAFNOSUPPORT;
}

} // namespace

TcpStack::TcpStack(VirtualClock& clock, Trace& trace, Phy& phy, Eth0& eth0, NatTable& nat)
    : clock_(clock), trace_(trace), phy_(phy), eth0_(eth0), nat_(nat)
{
}

std::shared_ptr<TcpSocket> TcpStack::open(bool nonblocking)
{
    auto s = std::make_shared<TcpSocket>();
    s->nonblocking = nonblocking;
    std::erase_if(sockets_, [](const std::weak_ptr<TcpSocket>& w) { return w.expired(); });
    sockets_.push_back(s);
    return s;
}

bool TcpStack::nonblocking(const TcpSocket& s) const { return s.nonblocking; }

void TcpStack::set_nonblocking(TcpSocket& s, bool on) { s.nonblocking = on; }

int TcpStack::open_sockets() const
{
    int count = 0;
    for (const auto& w : sockets_) {
        if (const auto s = w.lock(); s && !s->released) {
            ++count;
        }
    }
    return count;
}

bool TcpStack::is_local(uint32_t address)
{
    if ((address >> 24) == 127) {
        return true;
    }
    const std::optional<uint32_t> own = eth0_.address();
    return own && *own == address;
}

bool TcpStack::port_taken(uint32_t address, uint16_t port, const TcpSocket* except)
{
    if (held_port_ != 0 && port == held_port_ && held_now_()) {
        return true;
    }
    if (const auto tw = time_wait_.find(port); tw != time_wait_.end()) {
        if (tw->second > clock_.now_us()) {
            return true;
        }
        time_wait_.erase(tw);
    }
    for (const auto& w : sockets_) {
        const auto s = w.lock();
        if (!s || s.get() == except || s->released || !s->bound || s->local_port != port) {
            continue;
        }
        if (s->local_addr == address || s->local_addr == kAny || address == kAny) {
            return true;
        }
    }
    return false;
}

uint16_t TcpStack::ephemeral_port()
{
    for (int tries = 0; tries < 28232; ++tries) {
        const uint16_t port = next_ephemeral_;
        next_ephemeral_ = next_ephemeral_ >= 60999 ? 32768 : static_cast<uint16_t>(next_ephemeral_ + 1);
        if (!port_taken(kAny, port, nullptr)) {
            return port;
        }
    }
    return 0;
}

int TcpStack::bind(TcpSocket& s, const sockaddr* addr, socklen_t length)
{
    sockaddr_in sin;
    if (const int error = inet_address(addr, length, sin); error != 0) {
        return fail(error);
    }
    if (s.bound || s.state != TcpSocket::State::Fresh) {
        return fail(EINVAL);
    }
    const uint32_t address = ntohl(sin.sin_addr.s_addr);
    if (address != kAny && !is_local(address)) {
        return fail(EADDRNOTAVAIL);
    }
    uint16_t port = ntohs(sin.sin_port);
    if (port == 0) {
        port = ephemeral_port();
        if (port == 0) {
            return fail(EADDRINUSE);
        }
    } else if (port_taken(address, port, &s)) {
        trace_.note("tcp bind " + dotted(address) + ":" + std::to_string(port) + " in use");
        return fail(EADDRINUSE);
    }
    s.bound = true;
    s.local_addr = address;
    s.local_port = port;
    trace_.note("tcp bind " + dotted(address) + ":" + std::to_string(port));
    return 0;
}

int TcpStack::listen(TcpSocket& s, int backlog)
{
    if (s.state != TcpSocket::State::Fresh && s.state != TcpSocket::State::Listening) {
        return fail(EINVAL);
    }
    if (!s.bound) {
        const uint16_t port = ephemeral_port();
        if (port == 0) {
            return fail(EADDRINUSE);
        }
        s.bound = true;
        s.local_port = port;
    }
    s.state = TcpSocket::State::Listening;
    s.backlog = std::clamp(backlog, 1, 4096);
    trace_.note("tcp listen " + dotted(s.local_addr) + ":" + std::to_string(s.local_port) + " backlog " +
                std::to_string(backlog));
    return 0;
}

std::shared_ptr<TcpSocket> TcpStack::listener(uint32_t address, uint16_t port)
{
    for (const auto& w : sockets_) {
        const auto s = w.lock();
        if (s && !s->released && s->state == TcpSocket::State::Listening && s->local_port == port &&
            (s->local_addr == address || s->local_addr == kAny)) {
            return s;
        }
    }
    return nullptr;
}

std::optional<uint32_t> TcpStack::over_eth0(uint32_t src, uint32_t dst)
{
    auto lost = [this](const std::string& why) -> std::optional<uint32_t> {
        last_drop_ = why;
        trace_.note("eth0 packet lost: " + why);
        return std::nullopt;
    };
    const auto arp = eth0_.arp_table().find(dst);
    if (arp == eth0_.arp_table().end()) {
        // The card asks for the address; its own request comes back to it and nobody answers.
        return lost("no ARP entry for " + dotted(dst));
    }
    if (!phy_.link_up()) {
        return lost("no link");
    }
    if (!phy_.frame_intact()) {
        return lost("a frame damaged on the line: the MAC's CRC check drops it");
    }
    eth0_.counters().tx_packets += 1;
    eth0_.counters().tx_bytes += 54;
    // The frame leaves with the card's own source address and comes straight back; it is
    // addressed to eth0's own MAC, so the controller takes it with or without promiscuous mode.
    eth0_.counters().rx_packets += 1;
    eth0_.counters().rx_bytes += 54;
    if (arp->second.mac != eth0_.mac()) {
        return lost("frame for " + mac_text(arp->second.mac) + ", not for this card");
    }
    const uint32_t delivered = nat_.prerouting_destination(dst).value_or(dst);
    if (!is_local(delivered)) {
        return lost("packet for " + dotted(delivered) + " arrives at a card that does not forward");
    }
    if (is_local(src)) {
        return lost("packet from the card's own address " + dotted(src) + " arrives on eth0 (martian)");
    }
    last_drop_.clear();
    return delivered;
}

int TcpStack::connectable(const TcpSocket& s) const
{
    switch (s.state) {
    case TcpSocket::State::Connecting:
        return EALREADY;
    case TcpSocket::State::Connected:
        return EISCONN;
    case TcpSocket::State::Listening:
    case TcpSocket::State::Closed:
        return EINVAL;
    case TcpSocket::State::Fresh:
        break;
    }
    return 0;
}

int TcpStack::bind_for_connect(TcpSocket& s, uint32_t dst, bool inside)
{
    if (s.bound) {
        return 0;
    }
    const uint16_t local_port = ephemeral_port();
    if (local_port == 0) {
        return EADDRNOTAVAIL;
    }
    s.bound = true;
    s.local_port = local_port;
    s.local_addr = inside && (dst >> 24) == 127 ? dst : eth0_.address().value_or(dst);
    return 0;
}

TcpStack::Syn TcpStack::send_syn(const TcpSocket& s, uint32_t dst, bool inside)
{
    if (inside) {
        return {s.local_addr, dst};
    }
    const uint32_t from = nat_.postrouting_source(s.local_addr).value_or(s.local_addr);
    return {from, over_eth0(from, dst)};
}

void TcpStack::answer_syn(TcpSocket& s, const Syn& syn, bool inside)
{
    std::shared_ptr<TcpSocket> server = syn.delivered ? listener(*syn.delivered, s.remote_port) : nullptr;
    if (syn.delivered && !server) {
        s.state = TcpSocket::State::Closed;
        s.error = ECONNREFUSED;
        trace_.note("tcp refused: nothing listens at " + dotted(*syn.delivered) + ":" + std::to_string(s.remote_port));
    } else if (!syn.delivered || server->pending.size() >= static_cast<std::size_t>(server->backlog)) {
        s.lost = true; // the SYN goes unanswered; retries meet the same road
    } else {
        queue_connection(s, *server, syn, inside);
    }
}

void TcpStack::queue_connection(TcpSocket& s, TcpSocket& server, const Syn& syn, bool inside)
{
    auto child = open(false);
    child->bound = true;
    child->local_addr = *syn.delivered;
    child->local_port = s.remote_port;
    child->remote_addr = syn.from;
    child->remote_port = s.local_port;
    child->state = TcpSocket::State::Connected;
    child->over_phy = !inside;
    const int64_t handshake = inside ? kLoopbackUs : 3 * wire_time_us(0);
    child->ready_us = clock_.now_us() + handshake;
    s.ready_us = child->ready_us;
    join(s, *child);
    for (const auto& w : sockets_) {
        if (auto me = w.lock(); me.get() == &s) {
            child->peer = me;
        }
    }
    s.peer = child;
    s.over_phy = !inside;
    server.pending.push_back(child);
    (inside ? inside_kernel_ : over_phy_) += 1;
    trace_.note(std::string("tcp connection ") + (inside ? "inside the kernel" : "over eth0") + " from " +
                dotted(syn.from) + ":" + std::to_string(s.local_port));
}

void TcpStack::join(TcpSocket& client, TcpSocket& child)
{
    auto forward = std::make_shared<std::deque<Chunk>>();
    auto backward = std::make_shared<std::deque<Chunk>>();
    auto forward_closed = std::make_shared<bool>(false);
    auto backward_closed = std::make_shared<bool>(false);
    client.out = forward;
    client.out_closed = forward_closed;
    client.in = backward;
    client.in_closed = backward_closed;
    child.in = forward;
    child.in_closed = forward_closed;
    child.out = backward;
    child.out_closed = backward_closed;
}

int TcpStack::finish_connect(TcpSocket& s)
{
    if (s.nonblocking) {
        return EINPROGRESS;
    }
    if (s.lost) {
        clock_.advance(kConnectGiveUpUs);
        s.state = TcpSocket::State::Closed;
        return ETIMEDOUT;
    }
    if (s.state == TcpSocket::State::Closed) {
        s.error = 0;
        return ECONNREFUSED;
    }
    clock_.advance(std::max<int64_t>(0, s.ready_us - clock_.now_us()));
    settle(s);
    return 0;
}

int TcpStack::connect(TcpSocket& s, const sockaddr* addr, socklen_t length)
{
    sockaddr_in sin;
    if (const int error = inet_address(addr, length, sin); error != 0) {
        return fail(error);
    }
    settle(s);
    if (const int error = connectable(s); error != 0) {
        return fail(error);
    }
    const uint32_t asked = ntohl(sin.sin_addr.s_addr);
    const uint16_t port = ntohs(sin.sin_port);
    // The OUTPUT rules decide whether the connection stays inside the kernel or leaves on eth0.
    const uint32_t dst = nat_.output_destination(asked).value_or(asked);
    const bool inside = is_local(dst);
    if (!inside && !eth0_.on_link(dst)) {
        return fail(ENETUNREACH);
    }
    if (const int error = bind_for_connect(s, dst, inside); error != 0) {
        return fail(error);
    }
    s.remote_addr = asked;
    s.remote_port = port;
    s.state = TcpSocket::State::Connecting;
    trace_.note("tcp connect " + dotted(s.local_addr) + ":" + std::to_string(s.local_port) + " -> " + dotted(asked) +
                ":" + std::to_string(port) + (dst != asked ? " (nat " + dotted(dst) + ")" : ""));
    answer_syn(s, send_syn(s, dst, inside), inside);
    if (const int error = finish_connect(s); error != 0) {
        return fail(error);
    }
    return 0;
}

std::shared_ptr<TcpSocket> TcpStack::accept(TcpSocket& s, sockaddr* addr, socklen_t* length)
{
    if (s.state != TcpSocket::State::Listening) {
        errno = EINVAL;
        return nullptr;
    }
    if (s.pending.empty() || s.pending.front()->ready_us > clock_.now_us()) {
        if (s.nonblocking || s.pending.empty()) {
            // A blocking accept with nothing on its way would wait forever; the card's program
            // never makes one, so it is told to try again.
            errno = EAGAIN;
            return nullptr;
        }
        clock_.advance(s.pending.front()->ready_us - clock_.now_us());
    }
    std::shared_ptr<TcpSocket> child = s.pending.front();
    s.pending.pop_front();
    if (addr != nullptr && length != nullptr) {
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(child->remote_addr);
        sin.sin_port = htons(child->remote_port);
        std::memcpy(addr, &sin, std::min<std::size_t>(sizeof sin, *length));
        *length = sizeof sin;
    }
    trace_.note("tcp accept from " + dotted(child->remote_addr) + ":" + std::to_string(child->remote_port));
    return child;
}

} // namespace kmb::sim
