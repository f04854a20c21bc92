// The card's network: eth0 with its PHY, the nat table and TCP, and the sockets that reach
// them. After a run it can tell what the run left behind.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/chips/phy.h"
#include "sim/core/clock.h"
#include "sim/core/faults.h"
#include "sim/core/open_file.h"
#include "sim/core/trace.h"
#include "sim/kernel/net/eth0.h"
#include "sim/kernel/net/nat_table.h"
#include "sim/kernel/net/tcp.h"

namespace kmb::sim {

class Network {
public:
    // `address` is eth0's IPv4 address in host byte order; `mac` the boot loader's ethaddr.
    Network(VirtualClock& clock, Faults& faults, Trace& trace, std::optional<uint32_t> address, MacAddress mac);
    Network(const Network&) = delete;
    Network& operator=(const Network&) = delete;

    std::unique_ptr<OpenFile> socket(int domain, int type, int protocol);

    Phy& phy() { return phy_; }
    Eth0& eth0() { return eth0_; }
    NatTable& nat() { return nat_; }
    TcpStack& tcp() { return tcp_; }

    // The routing state and sockets a run left behind, one line each; "" when none.
    std::string leftovers() const;

private:
    [[maybe_unused]] Trace& trace_; // kept for the traces the network will write
    Phy phy_;
    Eth0 eth0_;
    NatTable nat_;
    TcpStack tcp_;
};

// eth0's address of a card: the one given, or 192.0.2.20.
inline constexpr const char* kDefaultEthIp = "192.0.2.20";
// The boot loader's ethaddr when it holds none the driver can take: a locally administered one.
inline constexpr MacAddress kFallbackMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};

} // namespace kmb::sim
