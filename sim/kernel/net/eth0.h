// The card's one Ethernet interface, eth0, as its kernel and driver keep it: the IPv4 address,
// the MAC address the boot loader handed over, the interface flags, the ARP table and the
// traffic counters; and the requests that reach it through any socket: the interface and ARP
// requests of the kernel and the driver's two private PHY requests.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "sim/chips/phy.h"
#include "sim/core/faults.h"
#include "sim/core/trace.h"

namespace kmb::sim {

using MacAddress = std::array<uint8_t, 6>;

struct ArpEntry {
    MacAddress mac;
    int flags;
};

class Eth0 {
public:
    // `address` in host byte order, none for an interface without one.
    Eth0(Phy& phy, Faults& faults, Trace& trace, std::optional<uint32_t> address, MacAddress mac);

    // The interface, ARP and private requests; -1 with errno set when refused, and ENOTTY for
    // a request that is none of these.
    int ioctl(unsigned long request, unsigned long arg);

    std::optional<uint32_t> address();
    uint32_t netmask() const { return netmask_; }
    const MacAddress& mac() const { return mac_; }
    void set_mac(const MacAddress& mac) { mac_ = mac; }
    uint16_t flags() const { return flags_; }
    bool promiscuous() const;
    const std::map<uint32_t, ArpEntry>& arp_table() const { return arp_; }
    // Whether `address` (host order) is in eth0's subnet.
    bool on_link(uint32_t address);

    struct Counters {
        uint64_t tx_packets = 0;
        uint64_t tx_bytes = 0;
        uint64_t rx_packets = 0;
        uint64_t rx_bytes = 0;
    };
    Counters& counters() { return counters_; }

    // The MAC's receive DMA writing `count` bytes of checked frames into the card's memory.
    void receive_into_memory(uint8_t* data, std::size_t count);

private:
    int interface_request(unsigned long request, unsigned long arg);
    int arp_request(unsigned long request, unsigned long arg);
    int phy_request(unsigned long request, unsigned long arg);

    Phy& phy_;
    Faults& faults_;
    Trace& trace_;
    std::optional<uint32_t> address_;
    uint32_t netmask_ = 0xFFFFFF00;
    MacAddress mac_;
    uint16_t flags_;
    std::map<uint32_t, ArpEntry> arp_;
    Counters counters_;
    uint64_t bytes_received_ = 0;
};

// "a.b.c.d" of a host-order address.
std::string dotted(uint32_t address);
// The boot loader's "xx:xx:xx:xx:xx:xx"; nullopt when it is not one.
std::optional<MacAddress> parse_mac(const std::string& text);
std::string mac_text(const MacAddress& mac);

} // namespace kmb::sim
