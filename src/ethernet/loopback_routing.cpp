#include "ethernet/loopback_routing.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>

#include "ethernet/phy_access.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kEthAlenBytes = 6;
constexpr int kAtfCompleted = 0x02;
constexpr uint32_t kPeerOffset = 8;

void name_request(ifreq* ifr)
{
    std::memset(ifr, 0, sizeof *ifr);
    std::strncpy(ifr->ifr_name, ETH_IFNAME, IFNAMSIZ - 1);
}

// inet_ntoa's text, kept: its buffer is shared by every call.
void dotted(in_addr a, char* text, std::size_t size) { std::snprintf(text, size, "%s", inet_ntoa(a)); }

void run_nat_commands(in_addr own, in_addr peer, bool del)
{
    // Heap rather than stack, as the commands have always been built. A card too short of
    // memory for 360 bytes makes no rules: the connection then stays inside the kernel and the
    // run passes, so this line is all that tells.
    auto* commands = static_cast<char(*)[NAT_COMMAND_SIZE]>(os::malloc(3 * NAT_COMMAND_SIZE));
    if (commands == nullptr) {
        std::printf("can't allocate memory for the iptables commands\n");
        return;
    }
    nat_loopback_commands(own, peer, del, commands);
    for (int i = 0; i < 3; ++i) {
        os::system(commands[i]);
    }
    os::free(commands);
}

int arp_peer_request(in_addr peer, int sock, unsigned long request)
{
    arpreq req;
    std::memset(&req, 0, sizeof req);
    sockaddr_in pa{};
    pa.sin_family = AF_INET;
    pa.sin_addr = peer;
    std::memcpy(&req.arp_pa, &pa, sizeof pa);
    req.arp_flags = kAtfCompleted;

    ifreq ifr;
    name_request(&ifr);
    if (os::ioctl(sock, SIOCGIFHWADDR, &ifr) == -1) {
        std::perror("can't get mac address");
        return 1;
    }
    req.arp_ha.sa_family = ARPHRD_ETHER;
    std::memcpy(req.arp_ha.sa_data, ifr.ifr_hwaddr.sa_data, kEthAlenBytes);
    std::strncpy(req.arp_dev, ETH_IFNAME, sizeof req.arp_dev - 1);
    if (os::ioctl(sock, request, &req) == -1) {
        std::perror("can't set arp");
        return 1;
    }
    return 0;
}

} // namespace

in_addr peer_address(in_addr own)
{
    in_addr peer;
    peer.s_addr = htonl(ntohl(own.s_addr) + kPeerOffset);
    return peer;
}

void nat_loopback_commands(in_addr own, in_addr peer, bool del, char commands[3][NAT_COMMAND_SIZE])
{
    char own_text[INET_ADDRSTRLEN];
    char peer_text[INET_ADDRSTRLEN];
    dotted(own, own_text, sizeof own_text);
    dotted(peer, peer_text, sizeof peer_text);
    const char* op = del ? "-D" : "-A";
    std::snprintf(commands[0], NAT_COMMAND_SIZE, "iptables -t nat %s OUTPUT -d %s -j DNAT --to-destination %s", op,
                  own_text, peer_text);
    std::snprintf(commands[1], NAT_COMMAND_SIZE, "iptables -t nat %s PREROUTING -d %s -j DNAT --to-destination %s", op,
                  peer_text, own_text);
    std::snprintf(commands[2], NAT_COMMAND_SIZE, "iptables -t nat %s POSTROUTING -s %s -j SNAT --to-source %s", op,
                  own_text, peer_text);
}

void nat_loopback_add(in_addr own, in_addr peer) { run_nat_commands(own, peer, false); }

void nat_loopback_del(in_addr own, in_addr peer) { run_nat_commands(own, peer, true); }

int arp_peer_set(in_addr peer, int sock) { return arp_peer_request(peer, sock, SIOCSARP); }

int arp_peer_clear(in_addr peer, int sock) { return arp_peer_request(peer, sock, SIOCDARP); }

int eth_set_promisc(int sock, int on)
{
    ifreq ifr;
    name_request(&ifr);
    if (on) {
        if (os::ioctl(sock, SIOCGIFFLAGS, &ifr) != 0) {
            std::perror("SIOCGIFFLAGS fail set promiscuous mode");
            return 1;
        }
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_PROMISC_FLAG);
        if (os::ioctl(sock, SIOCSIFFLAGS, &ifr) != 0) {
            std::perror("SIOCSIFFLAGS fail set promiscuous mode");
            return 1;
        }
        return 0;
    }
    int failed = 0;
    if (os::ioctl(sock, SIOCGIFFLAGS, &ifr) < 0) {
        std::perror("Fail SIOCGIFFLAGS");
        failed = 1;
        // Flags that were not read would be written back as they stand: the name's zeros.
        // Clearing only promiscuous mode on such flags would take the interface down, so the
        // write is left out.
        return failed;
    }
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags & ~IFF_PROMISC_FLAG);
    if (os::ioctl(sock, SIOCSIFFLAGS, &ifr) < 0) {
        std::perror("Fail SIOCSIFFLAGS");
        failed = 1;
    }
    return failed;
}

} // namespace kmb
