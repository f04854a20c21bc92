// Which road one Ethernet loopback run's connection takes on the simulated card: over the PHY
// when the routing set-up is in place, inside the kernel without iptables, where no message can
// tell. (Each fault's messages are menu 9's transcripts and the fault-coverage report, which
// also holds every run to leaving no routing state, promiscuous mode or socket behind.)
#include <gtest/gtest.h>

#include <algorithm>

#include <net/if.h>
#include <sys/ioctl.h>

#include "ethernet/loopback.h"
#include "os/forwarding_os.h"
#include "board/printed.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

TEST(LoopbackRun, RoadOfAPassingRun)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        LoopbackSetting setting;
        int over_phy;      // connections that crossed the PHY
        int inside_kernel; // connections that never left the kernel
        int iptables_complaints;
        bool met = true; // the run meets the fault
    };
    const Case cases[] = {
        {"healthy, internal", {}, {0, 0, 0}, 1, 0, 0},
        {"healthy, external over the cable", {}, {1, 1, 1}, 1, 0, 0},
        {"no cable: internal still passes", {Fault::EthNoCable}, {0, 0, 0}, 1, 0, 0, false},
        // Without iptables the connection stays inside the kernel and the run cannot tell.
        {"no iptables", {Fault::IptablesAbsent}, {0, 0, 0}, 0, 1, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card(c.faults);
        sim::Network& net = card.card().network();
        const uint64_t tx_before = net.eth0().counters().tx_bytes;
        const int64_t start = card.card().clock().now_us();
        const LoopbackSetting& s = c.setting;
        const Printed p = printed([&s] { return eth_loopback_run(s.external, s.speed100, s.half_duplex); });
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(p.out.find("FAILED"), std::string::npos) << p.out;
        std::string complaints;
        for (int i = 0; i < c.iptables_complaints; ++i) {
            complaints += "sh: iptables: not found\n";
        }
        EXPECT_EQ(p.err, complaints);
        EXPECT_EQ(net.tcp().connections_over_phy(), c.over_phy);
        EXPECT_EQ(net.tcp().connections_inside_kernel(), c.inside_kernel);
        EXPECT_EQ(net.leftovers(), "");
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
        // 1 + 1 (link) + 2 + 1 seconds, and five cycles of two seconds each, a spinner step each.
        EXPECT_GE(card.card().clock().now_us() - start, 15'000'000);
        EXPECT_EQ(std::count(p.out.begin(), p.out.end(), '\b'), 5);
        if (c.over_phy == 1) {
            EXPECT_GE(net.eth0().counters().tx_bytes - tx_before, 5u * 16384u);
        }
        for (Fault f : c.faults) {
            EXPECT_EQ(card.card().faults().fired(f), c.met);
        }
    }
}

// The PHY set for a run: negotiation off first, then loopback, speed and duplex from there.
TEST(LoopbackRun, ThePhyIsSetInTwoWrites)
{
    struct Case {
        LoopbackSetting setting;
        std::vector<std::string> writes; // the first two BMCR writes; the PHY starts at 0x3100
    };
    const Case cases[] = {
        {{0, 0, 0}, {"phy w 0x0 0x2100", "phy w 0x0 0x4100"}},
        {{0, 1, 1}, {"phy w 0x0 0x2100", "phy w 0x0 0x6000"}},
        {{1, 0, 1}, {"phy w 0x0 0x2100", "phy w 0x0 0x0"}},
    };
    for (const Case& c : cases) {
        SimCard card;
        card.clear_trace();
        printed([&c] { return eth_loopback_run(c.setting.external, c.setting.speed100, c.setting.half_duplex); });
        std::vector<std::string> writes = card.trace_of("phy w 0x0 ");
        writes.resize(std::min<std::size_t>(writes.size(), 2));
        EXPECT_EQ(writes, c.writes) << c.setting.external << c.setting.speed100 << c.setting.half_duplex;
    }
}

// An external run without its cable reads BMSR five times, a second apart, and gives up.
TEST(LoopbackRun, NoCableEndsAtTheLinkWaitAfterFiveReads)
{
    SimCard card({Fault::EthNoCable});
    card.clear_trace();
    const Printed p = printed([] { return eth_loopback_run(1, 0, 0); });
    EXPECT_EQ(p.result, 1);
    EXPECT_NE(p.out.find("Link not established\n"), std::string::npos) << p.out;
    EXPECT_EQ(card.trace_of("phy r 0x1 ").size(), 5u);
    EXPECT_EQ(card.card().network().leftovers(), "");
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
}

// A card whose memory the run's two buffers take up (10 MiB, of which the system keeps 8) has
// none left for the routing commands: no rules are made, the connection stays inside the
// kernel and the run passes. Only the message tells; the verdict cannot.
TEST(LoopbackRun, NoMemoryForTheRoutingCommandsPassesInsideTheKernel)
{
    sim::SimConfig config;
    config.ram_mib = 10;
    SimCard card(config);
    const Printed p = printed([] { return eth_loopback_run(0, 0, 0); });
    EXPECT_EQ(p.result, 0);
    const std::string twice = "can't allocate memory for the iptables commands\n";
    EXPECT_EQ(p.out.rfind(twice, 0), 0u) << p.out;
    EXPECT_NE(p.out.find(twice, twice.size()), std::string::npos) << "the clean-up's delete says so too";
    EXPECT_EQ(card.card().network().tcp().connections_inside_kernel(), 1);
    EXPECT_EQ(card.card().network().tcp().connections_over_phy(), 0);
    EXPECT_EQ(card.card().network().leftovers(), "");
    EXPECT_EQ(card.card().ram().blocks_in_use(), 0u);
}

// The peer address is the own address plus eight in its last byte, carried into the next
// byte: at 192.0.2.250 the peer is 192.0.3.2, outside eth0's /24. The kernel takes the ARP
// entry because the request names eth0, but it has no route to the peer, so the connect goes
// nowhere and the run ends at its accept, with everything it set up taken down again.
TEST(LoopbackRun, APeerOutsideTheSubnetEndsAtTheAccept)
{
    sim::SimConfig config;
    config.eth_ip = "192.0.2.250";
    SimCard card(config);
    const Printed p = printed([] { return eth_loopback_run(0, 0, 0); });
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.err, "accept fail:: Resource temporarily unavailable\n");
    EXPECT_NE(p.out.find("FAILED\n"), std::string::npos) << p.out;
    const std::vector<std::string> set = card.trace_of("ioctl SIOCSARP");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].rfind("ioctl SIOCSARP 192.0.3.2 ", 0), 0u) << set[0];
    EXPECT_EQ(card.card().network().leftovers(), "");
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
}

// The run's sockets as the card's stack sees them: the listener bound to the own address and
// port 9090 with a backlog of 128, the connection to the own address taken from the peer's,
// and all three sockets closed.
TEST(LoopbackRun, SocketsOfAPassingRun)
{
    SimCard card;
    card.clear_trace();
    const Printed p = printed([] { return eth_loopback_run(0, 1, 0); });
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(card.trace_of("tcp bind"), std::vector<std::string>{"tcp bind 192.0.2.20:9090"});
    EXPECT_EQ(card.trace_of("tcp listen"), std::vector<std::string>{"tcp listen 192.0.2.20:9090 backlog 128"});
    const std::vector<std::string> connects = card.trace_of("tcp connect ");
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_NE(connects[0].find(" -> 192.0.2.20:9090"), std::string::npos) << connects[0];
    const std::vector<std::string> accepts = card.trace_of("tcp accept from ");
    ASSERT_EQ(accepts.size(), 1u);
    EXPECT_EQ(accepts[0].rfind("tcp accept from 192.0.2.28:", 0), 0u) << accepts[0];
    EXPECT_EQ(card.trace_of("tcp close").size(), 3u);
}

// The card's backend with the kernel's IFF_PROMISC never set, whatever the program asks.
class PromiscWithheld final : public os::ForwardingOs {
public:
    using ForwardingOs::ForwardingOs;
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        if (request != SIOCSIFFLAGS) {
            return ForwardingOs::ioctl(fd, request, arg);
        }
        ifreq withheld = *reinterpret_cast<const ifreq*>(arg);
        withheld.ifr_flags = static_cast<short>(withheld.ifr_flags & ~IFF_PROMISC);
        return ForwardingOs::ioctl(fd, request, reinterpret_cast<unsigned long>(&withheld));
    }
};

// The routing state a run finds, as the real-kernel test (tests/linux) found it behave: frames
// to eth0's own MAC come back without promiscuous mode; rules of an earlier run stay and carry
// the traffic; a foreign rule for the card's address, matched first, sends it nowhere.
TEST(LoopbackRun, RoutingStateTheRunFinds)
{
    constexpr uint32_t kOwn = 0xC0000214;   // 192.0.2.20
    constexpr uint32_t kPeer = 0xC000021C;  // 192.0.2.28
    constexpr uint32_t kElse = 0xC0000263;  // 192.0.2.99
    const std::vector<sim::NatRule> leftovers = {
        {"OUTPUT", false, kOwn, false, kPeer},
        {"PREROUTING", false, kPeer, false, kOwn},
        {"POSTROUTING", true, kOwn, true, kPeer},
    };
    struct Case {
        const char* what;
        bool promisc_withheld;
        std::vector<sim::NatRule> nat_before;
        const char* verdict;
        const char* err;
        int over_phy;
    };
    const Case cases[] = {
        {"promiscuous mode withheld", true, {}, "Internal Ethernet loopback  10BASE Full Dup test ........PASSED\n", "", 1},
        {"an earlier run's rules left over", false, leftovers,
         "Internal Ethernet loopback  10BASE Full Dup test ........PASSED\n", "", 1},
        {"a foreign rule first", false, {{"OUTPUT", false, kOwn, false, kElse}},
         "Internal Ethernet loopback  10BASE Full Dup test ........FAILED\n"
         "** Make sure the KMB card is properly seated in the **\n",
         "accept fail:: Resource temporarily unavailable\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card;
        sim::Network& net = card.card().network();
        ASSERT_EQ(net.eth0().address(), kOwn);
        for (const sim::NatRule& rule : c.nat_before) {
            ASSERT_EQ(net.nat().append(rule), 0);
        }
        const std::string nat_before = net.nat().listing();
        PromiscWithheld withheld(card.os());
        os::Os* previous = c.promisc_withheld ? os::install(&withheld) : nullptr;
        const Printed p = printed([] { return eth_loopback_run(0, 0, 0); });
        if (previous != nullptr) {
            os::install(previous);
        }
        EXPECT_EQ(p.result, std::string(c.verdict).find("PASSED") != std::string::npos ? 0 : 1);
        EXPECT_NE(p.out.find(c.verdict), std::string::npos) << p.out;
        EXPECT_EQ(p.err, c.err);
        EXPECT_FALSE(net.eth0().promiscuous());
        EXPECT_EQ(net.tcp().connections_over_phy(), c.over_phy);
        EXPECT_EQ(net.nat().listing(), nat_before);
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
    }
}

} // namespace
} // namespace kmb::test
