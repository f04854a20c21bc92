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

} // namespace
} // namespace kmb::test
