// Which road one Ethernet loopback run's connection takes on the simulated card: over the PHY
// when the routing set-up is in place, inside the kernel without iptables, where no message can
// tell. (Each fault's messages are menu 9's transcripts and the fault-coverage report, which
// also holds every run to leaving no routing state, promiscuous mode or socket behind.)
#include <gtest/gtest.h>

#include <algorithm>

#include "ethernet/loopback.h"
#include "support/capture.h"
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
        CapturedOutput capture;
        EXPECT_EQ(eth_loopback_run(c.setting.external, c.setting.speed100, c.setting.half_duplex), 0);
        capture.stop();
        EXPECT_EQ(capture.out().find("FAILED"), std::string::npos) << capture.out();
        std::string complaints;
        for (int i = 0; i < c.iptables_complaints; ++i) {
            complaints += "sh: iptables: not found\n";
        }
        EXPECT_EQ(capture.err(), complaints);
        EXPECT_EQ(net.tcp().connections_over_phy(), c.over_phy);
        EXPECT_EQ(net.tcp().connections_inside_kernel(), c.inside_kernel);
        EXPECT_EQ(net.leftovers(), "");
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
        // 1 + 1 (link) + 2 + 1 seconds, and five cycles of two seconds each, a spinner step each.
        EXPECT_GE(card.card().clock().now_us() - start, 15'000'000);
        EXPECT_EQ(std::count(capture.out().begin(), capture.out().end(), '\b'), 5);
        if (c.over_phy == 1) {
            EXPECT_GE(net.eth0().counters().tx_bytes - tx_before, 5u * 16384u);
        }
        for (Fault f : c.faults) {
            EXPECT_EQ(card.card().faults().fired(f), c.met);
        }
    }
}

// A card whose memory the run's two buffers take up (10 MiB, of which the system keeps 8) has
// none left for the routing commands: no rules are made, the connection stays inside the
// kernel and the run passes. Only the message tells; the verdict cannot.
TEST(LoopbackRun, NoMemoryForTheRoutingCommandsPassesInsideTheKernel)
{
    sim::SimConfig config;
    config.ram_mib = 10;
    SimCard card(config);
    CapturedOutput capture;
    EXPECT_EQ(eth_loopback_run(0, 0, 0), 0);
    capture.stop();
    const std::string twice = "can't allocate memory for the iptables commands\n";
    EXPECT_EQ(capture.out().rfind(twice, 0), 0u) << capture.out();
    EXPECT_NE(capture.out().find(twice, twice.size()), std::string::npos) << "the clean-up's delete says so too";
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
    CapturedOutput capture;
    EXPECT_EQ(eth_loopback_run(0, 0, 0), 1);
    capture.stop();
    EXPECT_EQ(capture.err(), "accept fail:: Resource temporarily unavailable\n");
    EXPECT_NE(capture.out().find("FAILED\n"), std::string::npos) << capture.out();
    const std::vector<std::string> set = card.trace_of("ioctl SIOCSARP");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].rfind("ioctl SIOCSARP 192.0.3.2 ", 0), 0u) << set[0];
    EXPECT_EQ(card.card().network().leftovers(), "");
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
}

} // namespace
} // namespace kmb::test
