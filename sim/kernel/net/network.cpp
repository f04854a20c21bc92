#include "sim/kernel/net/network.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>

#include "sim/kernel/net/inet_socket.h"

namespace kmb::sim {

Network::Network(VirtualClock& clock, Faults& faults, Trace& trace, std::optional<uint32_t> address, MacAddress mac)
    : trace_(trace),
      // The fixture has a loopback cable in the card's connector unless a fault took it out.
      phy_(clock, faults, [&faults] { return !faults.act(Fault::EthNoCable); }),
      eth0_(phy_, faults, trace, address, mac),
      tcp_(clock, trace, phy_, eth0_, nat_)
{
    // The port is the loopback test's own: some other program on the card listens there.
    constexpr uint16_t kStrayListenerPort = 9090;
    if (faults.enabled(Fault::EthPortTaken)) {
        tcp_.hold_port(kStrayListenerPort, [&faults] { return faults.act(Fault::EthPortTaken); });
    }
}

std::unique_ptr<OpenFile> Network::socket(int domain, int type, int protocol)
{
    if (domain != AF_INET) {
        errno = EAFNOSUPPORT;
        return nullptr;
    }
    const int kind = type & ~(SOCK_NONBLOCK | SOCK_CLOEXEC);
    const bool stream = kind == SOCK_STREAM;
    if (!stream && kind != SOCK_DGRAM) {
        errno = ESOCKTNOSUPPORT;
        return nullptr;
    }
    if (protocol != 0 && protocol != (stream ? IPPROTO_TCP : IPPROTO_UDP)) {
        errno = EPROTONOSUPPORT;
        return nullptr;
    }
    return std::make_unique<InetSocket>(tcp_, eth0_, tcp_.open((type & SOCK_NONBLOCK) != 0), stream);
}

std::string Network::leftovers() const
{
    std::string text;
    for (const NatRule& r : nat_.rules()) {
        text += "nat rule: -A " + r.chain + (r.match_source ? " -s " : " -d ") + dotted(r.match) + " -j " +
                (r.snat ? "SNAT --to-source " : "DNAT --to-destination ") + dotted(r.to) + "\n";
    }
    for (const auto& [ip, entry] : eth0_.arp_table()) {
        text += "ARP entry: " + dotted(ip) + " at " + mac_text(entry.mac) + "\n";
    }
    if (eth0_.promiscuous()) {
        text += "eth0 in promiscuous mode\n";
    }
    if (const int open = tcp_.open_sockets(); open > 0) {
        text += std::to_string(open) + " socket(s) open\n";
    }
    return text;
}

} // namespace kmb::sim
