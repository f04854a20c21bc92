#include "sim/kernel/net/eth0.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <linux/sockios.h>

namespace kmb::sim {

namespace {

// The card's driver defines these two itself, on the kernel's private range.
constexpr unsigned long kPhyRead = SIOCDEVPRIVATE;
constexpr unsigned long kPhyWrite = SIOCDEVPRIVATE + 2;
constexpr int kMdioRegisters = 32;

constexpr uint16_t kFlagsUp = IFF_UP | IFF_BROADCAST | IFF_RUNNING | IFF_MULTICAST;
// What SIOCSIFFLAGS may change; the kernel keeps the others to itself.
constexpr uint16_t kFlagsSettable = IFF_UP | IFF_PROMISC | IFF_ALLMULTI | IFF_DEBUG | IFF_NOARP;

int fail(int error)
{
    errno = error;
    return -1;
}

std::string name_of(const char* name)
{
    return std::string(name, strnlen(name, IFNAMSIZ));
}

std::string hex(unsigned long value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%lx", value);
    return text;
}

} // namespace

std::string dotted(uint32_t address)
{
    char text[INET_ADDRSTRLEN];
    const uint32_t net = htonl(address);
    inet_ntop(AF_INET, &net, text, sizeof text);
    return text;
}

std::optional<MacAddress> parse_mac(const std::string& text)
{
    MacAddress mac{};
    if (text.size() != 17) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 6; ++i) {
        const std::size_t at = i * 3;
        if (i < 5 && text[at + 2] != ':') {
            return std::nullopt;
        }
        unsigned value = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const char c = text[at + k];
            unsigned digit;
            if (c >= '0' && c <= '9') {
                digit = static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                digit = static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                digit = static_cast<unsigned>(c - 'A' + 10);
            } else {
                return std::nullopt;
            }
            value = value * 16 + digit;
        }
        mac[i] = static_cast<uint8_t>(value);
    }
    return mac;
}

std::string mac_text(const MacAddress& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

Eth0::Eth0(Phy& phy, Faults& faults, Trace& trace, std::optional<uint32_t> address, MacAddress mac)
    : phy_(phy), faults_(faults), trace_(trace), address_(address), mac_(mac), flags_(kFlagsUp)
{
}

std::optional<uint32_t> Eth0::address()
{
    if (address_ && faults_.act(Fault::EthNoIp)) {
        return std::nullopt;
    }
    return address_;
}

bool Eth0::promiscuous() const { return (flags_ & IFF_PROMISC) != 0; }

bool Eth0::on_link(uint32_t address)
{
    const std::optional<uint32_t> own = this->address();
    return own && (address & netmask_) == (*own & netmask_);
}

int Eth0::ioctl(unsigned long request, unsigned long arg)
{
    switch (request) {
    case SIOCGIFADDR:
    case SIOCGIFHWADDR:
    case SIOCGIFFLAGS:
    case SIOCSIFFLAGS:
        return interface_request(request, arg);
    case SIOCSARP:
    case SIOCDARP:
    case SIOCGARP:
        return arp_request(request, arg);
    case kPhyRead:
    case kPhyWrite:
        return phy_request(request, arg);
    default:
        return fail(ENOTTY);
    }
}

int Eth0::interface_request(unsigned long request, unsigned long arg)
{
    auto* ifr = reinterpret_cast<ifreq*>(arg);
    if (ifr == nullptr) {
        return fail(EFAULT);
    }
    const std::string name = name_of(ifr->ifr_name);
    if (name != "eth0") {
        trace_.note("ioctl " + name + " " + hex(request) + " refused");
        return fail(ENODEV);
    }
    switch (request) {
    case SIOCGIFADDR: {
        const std::optional<uint32_t> own = address();
        if (!own) {
            trace_.note("ioctl eth0 SIOCGIFADDR none");
            return fail(EADDRNOTAVAIL);
        }
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(*own);
        std::memcpy(&ifr->ifr_addr, &sin, sizeof sin);
        trace_.note("ioctl eth0 SIOCGIFADDR " + dotted(*own));
        return 0;
    }
    case SIOCGIFHWADDR:
        std::memset(&ifr->ifr_hwaddr, 0, sizeof ifr->ifr_hwaddr);
        ifr->ifr_hwaddr.sa_family = ARPHRD_ETHER;
        std::memcpy(ifr->ifr_hwaddr.sa_data, mac_.data(), mac_.size());
        trace_.note("ioctl eth0 SIOCGIFHWADDR " + mac_text(mac_));
        return 0;
    case SIOCGIFFLAGS:
        ifr->ifr_flags = static_cast<short>(flags_);
        trace_.note("ioctl eth0 SIOCGIFFLAGS " + hex(flags_));
        return 0;
    default: { // SIOCSIFFLAGS
        const auto wanted = static_cast<uint16_t>(ifr->ifr_flags);
        flags_ = static_cast<uint16_t>((flags_ & ~kFlagsSettable) | (wanted & kFlagsSettable));
        trace_.note("ioctl eth0 SIOCSIFFLAGS " + hex(wanted));
        return 0;
    }
    }
}

int Eth0::arp_request(unsigned long request, unsigned long arg)
{
    auto* req = reinterpret_cast<arpreq*>(arg);
    if (req == nullptr) {
        return fail(EFAULT);
    }
    if (req->arp_pa.sa_family != AF_INET) {
        return fail(EAFNOSUPPORT);
    }
    sockaddr_in pa;
    std::memcpy(&pa, &req->arp_pa, sizeof pa);
    const uint32_t ip = ntohl(pa.sin_addr.s_addr);
    const std::string dev = name_of(req->arp_dev);
    const char* what = request == SIOCSARP ? "SIOCSARP" : request == SIOCDARP ? "SIOCDARP" : "SIOCGARP";
    if (!dev.empty() && dev != "eth0") {
        trace_.note(std::string("ioctl ") + what + " " + dotted(ip) + " dev " + dev + " refused");
        return fail(ENODEV);
    }
    const auto entry = arp_.find(ip);
    if (request == SIOCDARP) {
        if (entry == arp_.end()) {
            trace_.note("ioctl SIOCDARP " + dotted(ip) + " none");
            return fail(ENXIO);
        }
        arp_.erase(entry);
        trace_.note("ioctl SIOCDARP " + dotted(ip));
        return 0;
    }
    if (request == SIOCGARP) {
        if (entry == arp_.end()) {
            return fail(ENXIO);
        }
        req->arp_ha.sa_family = ARPHRD_ETHER;
        std::memcpy(req->arp_ha.sa_data, entry->second.mac.data(), 6);
        req->arp_flags = entry->second.flags;
        return 0;
    }
    // SIOCSARP: a request that names the device is taken for any address; one that does not
    // is routed first, and the kernel refuses an address it has no route for.
    if (faults_.act(Fault::ArpRefused)) {
        trace_.note("ioctl SIOCSARP " + dotted(ip) + " refused");
        return fail(EPERM);
    }
    if (req->arp_ha.sa_family != ARPHRD_ETHER) {
        return fail(EINVAL);
    }
    if (dev.empty() && !on_link(ip)) {
        trace_.note("ioctl SIOCSARP " + dotted(ip) + " unreachable");
        return fail(ENETUNREACH);
    }
    ArpEntry e{};
    std::memcpy(e.mac.data(), req->arp_ha.sa_data, 6);
    e.flags = req->arp_flags | ATF_COM;
    arp_[ip] = e;
    trace_.note("ioctl SIOCSARP " + dotted(ip) + " " + mac_text(e.mac) + " " + hex(static_cast<unsigned>(req->arp_flags)));
    return 0;
}

int Eth0::phy_request(unsigned long request, unsigned long arg)
{
    auto* ifr = reinterpret_cast<ifreq*>(arg);
    if (ifr == nullptr) {
        return fail(EFAULT);
    }
    if (name_of(ifr->ifr_name) != "eth0") {
        return fail(ENODEV);
    }
    // The four words of the card's driver, in the processor's byte order.
    uint32_t words[4];
    std::memcpy(words, &ifr->ifr_ifru, sizeof words);
    const auto reg = static_cast<int32_t>(words[1]);
    const bool read = request == kPhyRead;
    if (reg < 0 || reg >= kMdioRegisters) {
        trace_.note(std::string("phy ") + (read ? "r " : "w ") + hex(words[1]) + " refused");
        return fail(EINVAL);
    }
    if (read) {
        const uint16_t value = phy_.read(reg);
        // The driver widens the register as a signed 16-bit number.
        words[3] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value)));
        std::memcpy(&ifr->ifr_ifru, words, sizeof words);
        trace_.note("phy r " + hex(static_cast<unsigned>(reg)) + " " + hex(value));
        return 0;
    }
    // The MDIO frame has 16 data bits: the upper half of the word never reaches the PHY.
    phy_.write(reg, static_cast<uint16_t>(words[2]));
    trace_.note("phy w " + hex(static_cast<unsigned>(reg)) + " " + hex(words[2]));
    return 0;
}

// The frame's CRC and, offloaded to the MAC, its TCP checksum were checked on the way in: a
// bit the DMA flips on its way to memory reaches the program.
void Eth0::receive_into_memory(uint8_t* data, std::size_t count)
{
    constexpr uint64_t kCorruptEvery = 1000;
    for (std::size_t i = 0; i < count; ++i) {
        ++bytes_received_;
        if (bytes_received_ % kCorruptEvery == 0 && faults_.act(Fault::EthDmaCorrupt)) {
            data[i] ^= static_cast<uint8_t>(1u << ((bytes_received_ / kCorruptEvery) % 8));
        }
    }
}

} // namespace kmb::sim
