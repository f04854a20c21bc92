// The card's TCP stack moving data: what a segment costs on the wire, send and read between
// connected sockets (over the PHY once the loopback routing is in place), and close.
#include "sim/kernel/net/tcp.h"

#include <algorithm>
#include <cstring>

#include "sim/kernel/net/tcp_socket.h"

namespace kmb::sim {

using namespace tcp_internal;

int64_t TcpStack::wire_time_us(std::size_t bytes)
{
    const int64_t bits_per_us = phy_.speed100() ? 100 : 10;
    return kFrameGapUs + static_cast<int64_t>(bytes) * 8 / bits_per_us;
}

int64_t TcpStack::first_resend_from(int64_t back_us) const
{
    const int64_t lost_us = clock_.now_us();
    int64_t wait_us = kFirstResendUs;
    int64_t resend_us = lost_us + wait_us;
    while (resend_us < back_us) {
        wait_us *= 2;
        resend_us += wait_us;
    }
    return resend_us;
}

void TcpStack::settle(TcpSocket& s)
{
    if (s.state == TcpSocket::State::Connecting && !s.lost && s.ready_us <= clock_.now_us() && s.in) {
        s.state = TcpSocket::State::Connected;
    }
}

ssize_t TcpStack::send(TcpSocket& s, const void* buf, size_t count)
{
    settle(s);
    if (s.error != 0) {
        const int error = s.error;
        s.error = 0;
        return fail(error);
    }
    if (s.state == TcpSocket::State::Connecting) {
        return fail(EAGAIN);
    }
    const auto peer = s.peer.lock();
    if (s.state != TcpSocket::State::Connected || *s.out_closed || !peer || peer->released) {
        return fail(EPIPE);
    }
    if (count == 0) {
        return 0;
    }
    std::size_t in_flight = 0;
    for (const Chunk& c : *s.out) {
        in_flight += c.bytes.size() - c.taken;
    }
    const std::size_t room = kWindow > in_flight ? kWindow - in_flight : 0;
    if (room == 0) {
        return fail(EAGAIN);
    }
    const std::size_t n = std::min(count, room);
    Chunk chunk{clock_.now_us() + kLoopbackUs, std::string(static_cast<const char*>(buf), n)};
    if (s.over_phy) {
        chunk.due_us = clock_.now_us() + wire_time_us(n);
        if (!phy_.link_up()) {
            // Lost on the line; TCP sends it again and again, waiting twice as long each time,
            // and the first resend after the line is back gets through. A line that stays
            // down takes them all.
            const int64_t back = phy_.contact_closes_us();
            chunk.due_us = back < 0 ? INT64_MAX : first_resend_from(back) + wire_time_us(n);
        }
        if (chunk.due_us != INT64_MAX) {
            // Counted now for the copy that gets through, whenever it crosses.
            phy_.carry(n);
            eth0_.receive_into_memory(reinterpret_cast<uint8_t*>(chunk.bytes.data()), n);
            eth0_.counters().tx_bytes += n;
            eth0_.counters().rx_bytes += n;
            eth0_.counters().tx_packets += (n + 1447) / 1448;
            eth0_.counters().rx_packets += (n + 1447) / 1448;
        }
    }
    s.out->push_back(std::move(chunk));
    return static_cast<ssize_t>(n);
}

ssize_t TcpStack::read(TcpSocket& s, void* buf, size_t count)
{
    settle(s);
    if (s.state == TcpSocket::State::Connecting) {
        return fail(EAGAIN);
    }
    if (s.state != TcpSocket::State::Connected) {
        return fail(ENOTCONN);
    }
    if (count == 0) {
        return 0;
    }
    while (true) {
        std::size_t got = 0;
        auto* out = static_cast<char*>(buf);
        while (got < count && !s.in->empty() && s.in->front().due_us <= clock_.now_us()) {
            Chunk& c = s.in->front();
            const std::size_t n = std::min(count - got, c.bytes.size() - c.taken);
            std::memcpy(out + got, c.bytes.data() + c.taken, n);
            got += n;
            c.taken += n;
            if (c.taken == c.bytes.size()) {
                s.in->pop_front();
            }
        }
        if (got > 0) {
            return static_cast<ssize_t>(got);
        }
        if (s.in->empty() && *s.in_closed) {
            return 0;
        }
        if (s.nonblocking || s.in->empty() || s.in->front().due_us == INT64_MAX) {
            return fail(EAGAIN);
        }
        clock_.advance(s.in->front().due_us - clock_.now_us());
    }
}

void TcpStack::close(TcpSocket& s)
{
    if (s.released) {
        return;
    }
    s.released = true;
    if (s.state == TcpSocket::State::Listening) {
        // Connections nobody accepted are reset.
        for (const auto& child : s.pending) {
            child->released = true;
            if (const auto client = child->peer.lock()) {
                client->error = ECONNRESET;
                *client->in_closed = true;
            }
        }
        s.pending.clear();
    }
    if (s.out_closed) {
        *s.out_closed = true;
        const auto peer = s.peer.lock();
        // The end that closes first waits out its port.
        if (peer && !peer->released && s.state == TcpSocket::State::Connected) {
            time_wait_[s.local_port] = clock_.now_us() + kTimeWaitUs;
        }
    }
    s.state = TcpSocket::State::Closed;
    trace_.note("tcp close " + dotted(s.local_addr) + ":" + std::to_string(s.local_port));
}

} // namespace kmb::sim
