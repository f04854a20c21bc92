#include "ethernet/loopback.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <span>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "devices/mii_regs.h"
#include "diag/indications.h"
#include "diag/options.h"
#include "diag/result_line.h"
#include "ethernet/loopback_routing.h"
#include "ethernet/phy_access.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kListenBacklog = 128;
constexpr int kLinkPolls = 5;

constexpr LoopbackSetting kInt10Full{0, 0, 0};
constexpr LoopbackSetting kInt10Half{0, 0, 1};
constexpr LoopbackSetting kExt10Full{1, 0, 0};
constexpr LoopbackSetting kExt10Half{1, 0, 1};
constexpr LoopbackSetting kInt100Full{0, 1, 0};
constexpr LoopbackSetting kInt100Half{0, 1, 1};
constexpr LoopbackSetting kExt100Full{1, 1, 0};
constexpr LoopbackSetting kExt100Half{1, 1, 1};

constexpr LoopbackSetting kFullTest[] = {kInt10Full,  kInt10Half,  kExt10Full,  kExt10Half,
                                         kInt100Full, kInt100Half, kExt100Full, kExt100Half};
constexpr LoopbackSetting kMenu20[] = {kInt100Full, kExt100Full, kInt100Half, kExt100Half};
// The fourth run is at 100 Mb/s, as the factory's sequence has always had it.
constexpr LoopbackSetting kMenu21[] = {kInt10Full, kExt10Full, kInt10Half, kExt100Half};
constexpr LoopbackSetting kMenu22[] = {kInt10Full, kInt100Full, kExt10Full, kExt100Full};
constexpr LoopbackSetting kMenu23[] = {kInt10Half, kInt10Full, kInt100Half, kInt100Full};
constexpr LoopbackSetting kMenu24[] = {kExt10Half, kExt10Full, kExt100Half, kExt100Full};

const char* const kHints[] = {
    "** Make sure the KMB card is properly seated in the **\n",
    "** fixture, and you have a loopback cable in the    **\n",
    "** connector.  Or you may have a bad CPU, Phy       **\n",
};

int make_nonblocking(int fd)
{
    const int flags = os::fcntl(fd, F_GETFL, 0);
    if (flags < 0) {
        return -1;
    }
    return os::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

// The PHY as the setting wants it: negotiation off first, then loopback, speed and duplex.
void configure_phy(int sock, const LoopbackSetting& s)
{
    uint32_t bmcr = 0;
    phy_read_reg(sock, MII_BMCR, &bmcr);
    phy_write_reg(sock, MII_BMCR, bmcr & ~static_cast<uint32_t>(BMCR_ANENABLE));
    phy_read_reg(sock, MII_BMCR, &bmcr);
    bmcr = s.external ? bmcr & ~static_cast<uint32_t>(BMCR_LOOPBACK) : bmcr | BMCR_LOOPBACK;
    bmcr = s.speed100 ? bmcr | BMCR_SPEED100 : bmcr & ~static_cast<uint32_t>(BMCR_SPEED100);
    bmcr = s.half_duplex ? bmcr & ~static_cast<uint32_t>(BMCR_FULLDPLX) : bmcr | BMCR_FULLDPLX;
    phy_write_reg(sock, MII_BMCR, bmcr);
}

// 0 when the link is up, 1 after a message when it is not.
int wait_for_link(int sock)
{
    for (int poll = 0; poll < kLinkPolls; ++poll) {
        os::sleep(1);
        uint32_t bmsr = 0;
        if (phy_read_reg(sock, MII_BMSR, &bmsr) == -1) {
            std::fprintf(stderr, "can't read BMSR\n");
            return 1;
        }
        if ((bmsr & BMSR_LSTATUS) != 0) {
            return 0;
        }
    }
    std::printf("Link not established\n");
    return 1;
}

// One transfer cycle: 0 when every byte came back as sent, 1 when not.
int transfer_cycle(int sendfd, int acceptfd, const unsigned char* sendbuf, unsigned char* recvbuf, int* mismatches)
{
    int send_count = ETH_CYCLE_BYTES;
    int recv_count = ETH_CYCLE_BYTES;
    int send_offset = 0;
    int recv_offset = 0;
    bool sending_finished = false;
    spinner_step();
    while (true) {
        if (!sending_finished) {
            const ssize_t sent = os::send(sendfd, sendbuf + send_offset, static_cast<size_t>(send_count), 0);
            if (sent == -1) {
                std::perror("code send fail");
                return 1;
            }
            if (sent == 0) {
                sending_finished = true;
            } else {
                send_count -= static_cast<int>(sent);
                send_offset += static_cast<int>(sent);
            }
        }
        os::sleep(1);
        const ssize_t got = os::read(acceptfd, recvbuf + recv_offset, static_cast<size_t>(recv_count));
        if (got == -1) {
            std::perror("listener: read failed");
            return 1;
        }
        if (got == 0) {
            break;
        }
        recv_count -= static_cast<int>(got);
        recv_offset += static_cast<int>(got);
    }
    int failed = 0;
    for (int k = 0; k < ETH_CYCLE_BYTES && *mismatches < ETH_MAX_MISMATCHES; ++k) {
        const unsigned expected = static_cast<unsigned>(k % 256);
        if (recvbuf[k] != expected) {
            std::printf("Error: receive data not correct, \n");
            std::printf("expected : 0x%x, received: 0x%x\n", expected, static_cast<unsigned>(recvbuf[k]));
            ++*mismatches;
            failed = 1;
        }
    }
    return failed;
}

int run_settings(std::span<const LoopbackSetting> settings, bool reset_first)
{
    int failed = 0;
    for (const LoopbackSetting& s : settings) {
        if (reset_first && phy_reset() != 0) {
            std::printf("fail reset phy\n");
        }
        failed += eth_loopback_run(s.external, s.speed100, s.half_duplex);
    }
    return failed;
}

// Everything one run holds, so that one clean-up releases what was obtained on every path.
struct RunResources {
    unsigned char* recvbuf = nullptr;
    unsigned char* sendbuf = nullptr;
    int listenfd = -1;
    int sendfd = -1;
    int acceptfd = -1;
    bool have_addresses = false;
    in_addr own{};
    in_addr peer{};
    sockaddr_in listen_addr{};
};

// Every step of a run prints its own message and returns the run's status: 0 passing so far,
// 1 failed. These two end a step after a system call's failure.
int failed_errno(const char* what)
{
    std::perror(what);
    return 1;
}

int failed_message(FILE* stream, const char* text)
{
    std::fputs(text, stream);
    return 1;
}

int obtain_buffers(RunResources& r, const LoopbackSetting&)
{
    r.recvbuf = static_cast<unsigned char*>(os::malloc(ETH_BUFFER_SIZE));
    if (r.recvbuf == nullptr) {
        return failed_message(stdout, "Can't allocate memory\n");
    }
    r.sendbuf = static_cast<unsigned char*>(os::calloc(ETH_BUFFER_SIZE, 1));
    if (r.sendbuf == nullptr) {
        return failed_message(stdout, "can't allocate memory\n");
    }
    // The pattern's first 256 bytes, then copies of what is filled so far: the same bytes
    // as k mod 256 one by one, in a fraction of the card's time.
    for (int k = 0; k < 256; ++k) {
        r.sendbuf[k] = static_cast<unsigned char>(k);
    }
    for (int filled = 256; filled < ETH_BUFFER_SIZE; filled *= 2) {
        std::memcpy(r.sendbuf + filled, r.sendbuf, static_cast<size_t>(std::min(filled, ETH_BUFFER_SIZE - filled)));
    }
    return 0;
}

int open_sockets(RunResources& r, const LoopbackSetting&)
{
    r.listenfd = os::socket(AF_INET, SOCK_STREAM, 0);
    if (r.listenfd < 0) {
        return failed_errno("diag:Socket listenfd failed.\n");
    }
    r.sendfd = os::socket(AF_INET, SOCK_STREAM, 0);
    if (r.sendfd < 0) {
        return failed_errno("Socket sendfd failed");
    }
    if (make_nonblocking(r.listenfd) < 0) {
        return failed_errno("listenfd fcntl:");
    }
    if (make_nonblocking(r.sendfd) < 0) {
        return failed_errno("sendfd fcntl:");
    }
    os::sleep(1);
    return 0;
}

// eth0's own address, the peer address derived from it, and the run's listening address.
int read_addresses(RunResources& r, const LoopbackSetting&)
{
    ifreq ifr;
    std::memset(&ifr, 0, sizeof ifr);
    std::strncpy(ifr.ifr_name, ETH_IFNAME, IFNAMSIZ - 1);
    if (os::ioctl(r.listenfd, SIOCGIFADDR, &ifr) == -1) {
        return failed_message(stderr, "can't get ip address\n");
    }
    sockaddr_in own_sin;
    std::memcpy(&own_sin, &ifr.ifr_addr, sizeof own_sin);
    r.own = own_sin.sin_addr;
    r.peer = peer_address(r.own);
    r.have_addresses = true;
    r.listen_addr.sin_family = AF_INET;
    r.listen_addr.sin_addr = r.own;
    r.listen_addr.sin_port = htons(ETH_LOOPBACK_PORT);
    return 0;
}

// The road out through eth0 and back; the clean-up takes it down again.
int set_up_routing(RunResources& r, const LoopbackSetting&)
{
    nat_loopback_add(r.own, r.peer);
    if (arp_peer_set(r.peer, r.listenfd) == 1) {
        return failed_message(stdout, "fail set arp\n");
    }
    // Its message is the routing set-up's own.
    return eth_set_promisc(r.listenfd, 1) == 1 ? 1 : 0;
}

// The listening socket bound, the PHY in the run's setting with its link up, then listening.
int listen_on_phy(RunResources& r, const LoopbackSetting& s)
{
    if (os::bind(r.listenfd, reinterpret_cast<const sockaddr*>(&r.listen_addr), sizeof r.listen_addr) < 0) {
        return failed_errno("bind failed");
    }
    configure_phy(r.listenfd, s);
    if (wait_for_link(r.listenfd) != 0) {
        return 1;
    }
    if (os::listen(r.listenfd, kListenBacklog) < 0) {
        return failed_errno("listen failed");
    }
    return 0;
}

int connect_and_accept(RunResources& r, const LoopbackSetting&)
{
    // On a non-blocking socket the connection completes in the background.
    os::connect(r.sendfd, reinterpret_cast<const sockaddr*>(&r.listen_addr), sizeof r.listen_addr);
    os::sleep(2);
    r.acceptfd = os::accept(r.listenfd, nullptr, nullptr);
    if (r.acceptfd < 0) {
        return failed_errno("accept fail:");
    }
    if (make_nonblocking(r.acceptfd) < 0) {
        return failed_errno("acceptfd fcntl:");
    }
    os::sleep(1);
    return 0;
}

int transfer(RunResources& r, const LoopbackSetting&)
{
    int mismatches = 0;
    for (int cycle = 0; cycle < ETH_CYCLES; ++cycle) {
        if (transfer_cycle(r.sendfd, r.acceptfd, r.sendbuf, r.recvbuf, &mismatches) != 0) {
            return 1;
        }
    }
    return 0;
}

using RunStep = int (*)(RunResources& r, const LoopbackSetting& s);

constexpr RunStep kRunSteps[] = {obtain_buffers, open_sockets,       read_addresses, set_up_routing,
                                 listen_on_phy,  connect_and_accept, transfer};

// The steps of a run up to the end of its transfer, until one fails: 0 passing, 1 failed.
int run_steps(RunResources& r, const LoopbackSetting& s)
{
    for (RunStep step : kRunSteps) {
        if (step(r, s) != 0) {
            return 1;
        }
    }
    return 0;
}

// Closes what the run opened and takes its routing down; 1 when taking it down failed.
int clean_up(RunResources& r)
{
    int status = 0;
    if (r.sendfd >= 0 && os::close(r.sendfd) != 0) {
        std::perror("close sendfd:");
    }
    if (r.acceptfd >= 0 && os::close(r.acceptfd) != 0) {
        std::perror("close accetfd:");
    }
    if (r.listenfd >= 0) {
        // Before the own address is known nothing was set up, and nothing is taken down.
        if (r.have_addresses) {
            if (eth_set_promisc(r.listenfd, 0) != 0) {
                status = 1;
            }
            arp_peer_clear(r.peer, r.listenfd);
            nat_loopback_del(r.own, r.peer);
        }
        if (os::close(r.listenfd) != 0) {
            std::perror("close listenfd");
        }
    }
    os::free(r.sendbuf);
    os::free(r.recvbuf);
    return status;
}

// The run's label, composed of its setting's pieces; wider than other tests' labels.
std::string result_label(const LoopbackSetting& s)
{
    return std::string(s.external ? "External " : "Internal ") + "Ethernet loopback " +
           (s.speed100 ? "100BASE " : " 10BASE ") + (s.half_duplex ? "Half Dup " : "Full Dup ") + "test ........";
}

} // namespace

int eth_loopback_run(int external, int speed100, int half_duplex)
{
    indicate_clear();
    const LoopbackSetting setting{external, speed100, half_duplex};
    RunResources r;
    const int status = run_steps(r, setting);
    const int cleanup_status = clean_up(r);
    return report_result(result_label(setting).c_str(), status | cleanup_status, kHints);
}

int eth_loopback_test() { return run_settings(kFullTest, true); }
int eth_loopback_menu20() { return run_settings(kMenu20, false); }
int eth_loopback_menu21() { return run_settings(kMenu21, false); }
int eth_loopback_menu22() { return run_settings(kMenu22, false); }
int eth_loopback_menu23() { return run_settings(kMenu23, false); }
int eth_loopback_menu24() { return run_settings(kMenu24, false); }

} // namespace kmb
