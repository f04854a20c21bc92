// The record of one socket of the card's TCP stack, shared by the stack's connection set-up
// (tcp.cpp) and its data transfer (tcp_transfer.cpp), with the stack's timings and limits.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <netinet/in.h>

#include "sim/kernel/net/tcp.h"

namespace kmb::sim {

namespace tcp_internal {

inline constexpr int64_t kLoopbackUs = 20;               // through the kernel's own loopback
inline constexpr int64_t kFrameGapUs = 100;              // a segment's way through the driver, PHY and back
inline constexpr std::size_t kWindow = 256 * 1024;       // what one direction holds in flight
inline constexpr int64_t kTimeWaitUs = 60'000'000;       // a port closed first is kept this long
inline constexpr int64_t kConnectGiveUpUs = 127'000'000; // SYN retries of a blocking connect
inline constexpr int64_t kFirstResendUs = 200'000;        // a lost segment's first resend, then doubling
inline constexpr uint32_t kAny = INADDR_ANY;

inline int fail(int error)
{
    errno = error;
    return -1;
}

} // namespace tcp_internal

// One socket of the card, shared by its descriptor and by the stack's lists.
struct TcpSocket {
    enum class State { Fresh, Listening, Connecting, Connected, Closed };
    State state = State::Fresh;
    bool nonblocking = false;
    bool bound = false;
    bool released = false;
    uint32_t local_addr = tcp_internal::kAny;
    uint16_t local_port = 0;
    uint32_t remote_addr = 0;
    uint16_t remote_port = 0;
    int error = 0;          // to be reported by the next call
    int64_t ready_us = 0;   // Connecting: when the handshake completes
    bool lost = false;      // Connecting: the SYN never arrives
    int backlog = 0;
    std::deque<std::shared_ptr<TcpSocket>> pending; // Listening: connections not yet accepted
    // Connected: what this end reads, and the peer's.
    std::shared_ptr<std::deque<TcpStack::Chunk>> in;
    std::shared_ptr<std::deque<TcpStack::Chunk>> out;
    std::shared_ptr<bool> in_closed;  // the peer sent its FIN
    std::shared_ptr<bool> out_closed; // this end sent its FIN
    std::weak_ptr<TcpSocket> peer;
    bool over_phy = false;
};

} // namespace kmb::sim
