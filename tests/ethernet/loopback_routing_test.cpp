// The routing set-up of a loopback run, on the simulated card: the peer address, the iptables
// command lines, the ARP entry and promiscuous mode, and what a set-up and tear-down leave.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <sys/ioctl.h>

#include "ethernet/loopback_routing.h"
#include "os/forwarding_os.h"
#include "os/os.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

in_addr address(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

std::string text_of(in_addr a) { return inet_ntoa(a); }

TEST(LoopbackRouting, PeerIsOwnPlusEightWithItsCarry)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.0.2.20", "192.0.2.28"},  {"192.0.2.247", "192.0.2.255"}, {"192.0.2.248", "192.0.3.0"},
        {"192.0.2.250", "192.0.3.2"},  {"192.0.255.250", "192.1.0.2"}, {"255.255.255.255", "0.0.0.7"},
    };
    for (const auto& [own, peer] : cases) {
        EXPECT_EQ(text_of(peer_address(address(own))), peer) << own;
    }
}

// The add lines are SetUpAndTearDown's rules, the delete lines its clean card.
TEST(LoopbackRouting, CommandLinesFitTheirBuffer)
{
    struct Case {
        const char* own;
        bool del;
        const char* lines[3];
    };
    const Case cases[] = {
        // The longest lines, with two 15-character addresses, still fit the buffer.
        {"192.168.200.250",
         true,
         {"iptables -t nat -D OUTPUT -d 192.168.200.250 -j DNAT --to-destination 192.168.201.2",
          "iptables -t nat -D PREROUTING -d 192.168.201.2 -j DNAT --to-destination 192.168.200.250",
          "iptables -t nat -D POSTROUTING -s 192.168.200.250 -j SNAT --to-source 192.168.201.2"}},
    };
    for (const Case& c : cases) {
        char commands[3][NAT_COMMAND_SIZE];
        nat_loopback_commands(address(c.own), peer_address(address(c.own)), c.del, commands);
        for (int i = 0; i < 3; ++i) {
            EXPECT_STREQ(commands[i], c.lines[i]) << c.own;
        }
    }
}

TEST(LoopbackRouting, SetUpAndTearDownLeaveTheCardAsTheyFoundIt)
{
    SimCard card;
    sim::Network& net = card.card().network();
    const in_addr own = address("192.0.2.20");
    const in_addr peer = peer_address(own);
    const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
    CapturedOutput capture;
    nat_loopback_add(own, peer);
    EXPECT_EQ(arp_peer_set(peer, sock), 0);
    EXPECT_EQ(eth_set_promisc(sock, 1), 0);
    capture.stop();
    EXPECT_EQ(net.nat().listing(), "-P PREROUTING ACCEPT\n-P INPUT ACCEPT\n-P OUTPUT ACCEPT\n-P POSTROUTING ACCEPT\n"
                                   "-A OUTPUT -d 192.0.2.20/32 -j DNAT --to-destination 192.0.2.28\n"
                                   "-A PREROUTING -d 192.0.2.28/32 -j DNAT --to-destination 192.0.2.20\n"
                                   "-A POSTROUTING -s 192.0.2.20/32 -j SNAT --to-source 192.0.2.28\n");
    ASSERT_EQ(net.eth0().arp_table().size(), 1u);
    EXPECT_EQ(net.eth0().arp_table().begin()->first, 0xC000021Cu);
    EXPECT_EQ(net.eth0().arp_table().begin()->second.mac, net.eth0().mac());
    EXPECT_EQ(sim::mac_text(net.eth0().mac()), "02:00:4b:4d:42:01"); // the boot loader's ethaddr
    EXPECT_TRUE(net.eth0().promiscuous());

    CapturedOutput teardown;
    EXPECT_EQ(eth_set_promisc(sock, 0), 0);
    EXPECT_EQ(arp_peer_clear(peer, sock), 0);
    nat_loopback_del(own, peer);
    teardown.stop();
    os::close(sock);
    EXPECT_EQ(teardown.out() + teardown.err(), "");
    EXPECT_EQ(net.leftovers(), "");
    // The interface is still up: only promiscuous mode went.
    EXPECT_EQ(net.eth0().flags() & 0x1, 0x1);
}

TEST(LoopbackRouting, RefusedRequestsAreReportedInTheirOwnWords)
{
    SimCard card({sim::Fault::ArpRefused});
    const in_addr peer = address("192.0.2.28");
    const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
    CapturedOutput capture;
    EXPECT_EQ(arp_peer_set(peer, sock), 1);
    EXPECT_EQ(arp_peer_clear(peer, sock), 1); // nothing to delete
    EXPECT_EQ(eth_set_promisc(-1, 1), 1);
    EXPECT_EQ(eth_set_promisc(-1, 0), 1);
    capture.stop();
    os::close(sock);
    EXPECT_EQ(capture.err(), "can't set arp: Operation not permitted\n"
                             "can't set arp: No such device or address\n"
                             "SIOCGIFFLAGS fail set promiscuous mode: Bad file descriptor\n"
                             "Fail SIOCGIFFLAGS: Bad file descriptor\n");
    EXPECT_EQ(card.card().network().leftovers(), "");
}

// The card's backend with the interface flags refused, as a kernel refuses a process without
// the right to change them.
class FlagsRefused final : public os::ForwardingOs {
public:
    using ForwardingOs::ForwardingOs;
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        if (request == SIOCSIFFLAGS) {
            errno = EPERM;
            return -1;
        }
        return ForwardingOs::ioctl(fd, request, arg);
    }
};

TEST(LoopbackRouting, RefusedFlagsAreReportedEachWay)
{
    SimCard card;
    FlagsRefused refused(card.os());
    os::Os* previous = os::install(&refused);
    const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
    CapturedOutput capture;
    EXPECT_EQ(eth_set_promisc(sock, 1), 1);
    EXPECT_EQ(eth_set_promisc(sock, 0), 1);
    capture.stop();
    os::close(sock);
    os::install(previous);
    EXPECT_EQ(capture.err(), "SIOCSIFFLAGS fail set promiscuous mode: Operation not permitted\n"
                             "Fail SIOCSIFFLAGS: Operation not permitted\n");
    EXPECT_FALSE(card.card().network().eth0().promiscuous());
}

} // namespace
} // namespace kmb::test
