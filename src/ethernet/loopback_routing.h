// The set-up that sends the card's TCP traffic to its own address out through eth0 and back
// in, and its tear-down: three nat rules (through the iptables command), an ARP entry that
// gives the peer address eth0's own MAC address, and promiscuous mode.
#pragma once

#include <cstdint>
#include <netinet/in.h>

namespace kmb {

inline constexpr uint16_t IFF_PROMISC_FLAG = 0x100;
inline constexpr int NAT_COMMAND_SIZE = 120;

// The own address plus 8, taken as a number in host byte order (192.0.2.250 gives 192.0.3.2).
in_addr peer_address(in_addr own);

// The three iptables command lines that add (or, with `del`, delete) the rules, into
// `commands`, each NAT_COMMAND_SIZE bytes.
void nat_loopback_commands(in_addr own, in_addr peer, bool del, char commands[3][NAT_COMMAND_SIZE]);

void nat_loopback_add(in_addr own, in_addr peer);
void nat_loopback_del(in_addr own, in_addr peer);
int arp_peer_set(in_addr peer, int sock);
int arp_peer_clear(in_addr peer, int sock);
int eth_set_promisc(int sock, int on);

} // namespace kmb
