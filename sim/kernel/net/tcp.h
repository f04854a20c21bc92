// TCP between the card's own sockets. A connection to a local address stays inside the
// kernel; one whose packets the nat rules send out through eth0 crosses the PHY and comes back
// in only when the whole road is there: the OUTPUT rule, an ARP entry that names eth0's own
// MAC address (the frame comes back addressed to eth0 and is taken without promiscuous mode,
// as a real kernel takes it), a link, the PREROUTING rule that makes the returning packet local
// again and the POSTROUTING rule without which it would arrive from the card's own address and
// be dropped.
// Bytes arrive at the line's speed; the stack records which road each connection took.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

#include "sim/chips/phy.h"
#include "sim/core/clock.h"
#include "sim/core/trace.h"
#include "sim/kernel/net/eth0.h"
#include "sim/kernel/net/nat_table.h"

namespace kmb::sim {

struct TcpSocket;

class TcpStack {
public:
    TcpStack(VirtualClock& clock, Trace& trace, Phy& phy, Eth0& eth0, NatTable& nat);

    std::shared_ptr<TcpSocket> open(bool nonblocking);
    int bind(TcpSocket& s, const sockaddr* addr, socklen_t length);
    int listen(TcpSocket& s, int backlog);
    int connect(TcpSocket& s, const sockaddr* addr, socklen_t length);
    // nullptr with errno set when no connection can be taken.
    std::shared_ptr<TcpSocket> accept(TcpSocket& s, sockaddr* addr, socklen_t* length);
    ssize_t send(TcpSocket& s, const void* buf, size_t count);
    ssize_t read(TcpSocket& s, void* buf, size_t count);
    void close(TcpSocket& s);
    bool nonblocking(const TcpSocket& s) const;
    void set_nonblocking(TcpSocket& s, bool on);

    // A port that another program on the card holds, listening on every address, while
    // `held_now` says so: it is asked at each bind that runs into the port, so a program that
    // runs for a while only holds it for that while.
    void hold_port(uint16_t port, std::function<bool()> held_now)
    {
        held_port_ = port;
        held_now_ = std::move(held_now);
    }

    // What a test can ask and the card could not tell.
    int open_sockets() const;
    int connections_inside_kernel() const { return inside_kernel_; }
    int connections_over_phy() const { return over_phy_; }
    // Why the last packet that left through eth0 never came back ("" when it did).
    const std::string& last_drop() const { return last_drop_; }

private:
    struct Chunk {
        int64_t due_us;
        std::string bytes;
        std::size_t taken = 0;
    };
    friend struct TcpSocket;

    bool is_local(uint32_t address);
    bool port_taken(uint32_t address, uint16_t port, const TcpSocket* except);
    uint16_t ephemeral_port();
    // The listener that takes a connection to `address`:`port`, if any.
    std::shared_ptr<TcpSocket> listener(uint32_t address, uint16_t port);
    // Follows a packet from `src` to `dst` out through eth0 and back in; the local address it
    // is delivered to, or nullopt (and last_drop_) when it is lost on the way.
    std::optional<uint32_t> over_eth0(uint32_t src, uint32_t dst);
    // The steps of connect; each returns 0 or the errno the call fails with.
    int connectable(const TcpSocket& s) const;
    int bind_for_connect(TcpSocket& s, uint32_t dst, bool inside);
    int finish_connect(TcpSocket& s);
    // A connection request: the address it comes from once it has left the card, and the local
    // address it is delivered to (nullopt: lost on the way).
    struct Syn {
        uint32_t from;
        std::optional<uint32_t> delivered;
    };
    // Sends `s`'s request to `dst`, inside the kernel or through the POSTROUTING rules and eth0.
    Syn send_syn(const TcpSocket& s, uint32_t dst, bool inside);
    // The listener's answer: refused, unanswered, or a connection queued for accept.
    void answer_syn(TcpSocket& s, const Syn& syn, bool inside);
    void queue_connection(TcpSocket& s, TcpSocket& server, const Syn& syn, bool inside);
    // Gives the connecting socket and the listener's new one the two directions' queues.
    void join(TcpSocket& client, TcpSocket& child);
    void settle(TcpSocket& s);
    int64_t wire_time_us(std::size_t bytes);
    // The card time of the first resend of a segment lost now that finds the line back up at
    // `back_us`.
    int64_t first_resend_from(int64_t back_us) const;

    VirtualClock& clock_;
    Trace& trace_;
    Phy& phy_;
    Eth0& eth0_;
    NatTable& nat_;
    std::vector<std::weak_ptr<TcpSocket>> sockets_;
    std::map<uint16_t, int64_t> time_wait_; // local port -> until
    uint16_t next_ephemeral_ = 32768;
    uint16_t held_port_ = 0;
    std::function<bool()> held_now_;
    int inside_kernel_ = 0;
    int over_phy_ = 0;
    std::string last_drop_;
};

} // namespace kmb::sim
