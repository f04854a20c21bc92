// One Ethernet loopback run on the simulated card, healthy and under each fault of the card's
// Ethernet: its messages and verdict, which road its connection took, and that no path leaves
// routing state, promiscuous mode or a socket behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "ethernet/loopback_test.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

// What the operator sees without the spinner's steps (a character and a backspace each).
std::string without_spinner(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 1 < text.size() && text[i + 1] == '\b') {
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

const std::string kHints = "** Make sure the KMB card is properly seated in the **\n"
                           "** fixture, and you have a loopback cable in the    **\n"
                           "** connector.  Or you may have a bad CPU, Phy       **\n";

struct Case {
    const char* what;
    std::vector<Fault> faults;
    LoopbackSetting setting;
    int result;
    std::string out;
    std::string err;
    int over_phy;      // connections that crossed the PHY
    int inside_kernel; // connections that never left the kernel
    bool met = true;   // the run meets the fault
};

TEST(LoopbackRun, VerdictMessagesAndRoad)
{
    const std::string int10 = "Internal Ethernet loopback  10BASE Full Dup test ........";
    const std::string ext100h = "External Ethernet loopback 100BASE Half Dup test ........";
    std::string corrupt;
    // Every 1,000th byte carried has one bit flipped; 11 are reported of the first cycle.
    const char* pairs[][2] = {{"e7", "e5"}, {"cf", "cb"}, {"b7", "bf"}, {"9f", "8f"}, {"87", "a7"}, {"6f", "2f"},
                              {"57", "d7"}, {"3f", "3e"}, {"27", "25"}, {"f", "b"},   {"f7", "ff"}};
    for (const auto& p : pairs) {
        corrupt += "Error: receive data not correct, \nexpected : 0x" + std::string(p[0]) + ", received: 0x" + p[1] + "\n";
    }
    const Case cases[] = {
        {"healthy, internal", {}, {0, 0, 0}, 0, int10 + "PASSED\n", "", 1, 0},
        {"healthy, external over the cable", {}, {1, 1, 1}, 0, ext100h + "PASSED\n", "", 1, 0},
        {"no cable: internal still passes", {Fault::EthNoCable}, {0, 0, 0}, 0, int10 + "PASSED\n", "", 1, 0, false},
        {"no cable: external sees no link",
         {Fault::EthNoCable},
         {1, 1, 1},
         1,
         "Link not established\n" + ext100h + "FAILED\n" + kHints,
         "",
         0,
         0},
        {"no link at all", {Fault::EthLinkDown}, {0, 0, 0}, 1, "Link not established\n" + int10 + "FAILED\n" + kHints, "", 0, 0},
        {"no address", {Fault::EthNoIp}, {0, 0, 0}, 1, int10 + "FAILED\n" + kHints, "can't get ip address\n", 0, 0},
        {"ARP refused",
         {Fault::ArpRefused},
         {0, 0, 0},
         1,
         "fail set arp\n" + int10 + "FAILED\n" + kHints,
         "can't set arp: Operation not permitted\ncan't set arp: No such device or address\n",
         0,
         0},
        {"corrupting PHY", {Fault::EthCorrupt}, {0, 0, 0}, 1, corrupt + int10 + "FAILED\n" + kHints, "", 1, 0},
        // Without iptables the connection stays inside the kernel and the run cannot tell.
        {"no iptables",
         {Fault::IptablesAbsent},
         {0, 0, 0},
         0,
         int10 + "PASSED\n",
         "sh: iptables: not found\nsh: iptables: not found\nsh: iptables: not found\n"
         "sh: iptables: not found\nsh: iptables: not found\nsh: iptables: not found\n",
         0,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card(c.faults);
        sim::Network& net = card.card().network();
        const uint64_t tx_before = net.eth0().counters().tx_bytes;
        const int64_t start = card.card().clock().now_us();
        CapturedOutput capture;
        EXPECT_EQ(eth_loopback_run(c.setting.external, c.setting.speed100, c.setting.half_duplex), c.result);
        capture.stop();
        EXPECT_EQ(without_spinner(capture.out()), c.out);
        EXPECT_EQ(capture.err(), c.err);
        EXPECT_EQ(net.tcp().connections_over_phy(), c.over_phy);
        EXPECT_EQ(net.tcp().connections_inside_kernel(), c.inside_kernel);
        EXPECT_EQ(net.leftovers(), "");
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
        if (c.result == 0) {
            // 1 + 1 (link) + 2 + 1 seconds, and five cycles of two seconds each.
            EXPECT_GE(card.card().clock().now_us() - start, 15'000'000);
            EXPECT_EQ(std::count(capture.out().begin(), capture.out().end(), '\b'), 5); // a step a cycle
        }
        if (c.over_phy == 1 && c.result == 0) {
            EXPECT_GE(net.eth0().counters().tx_bytes - tx_before, 5u * 16384u);
        }
        for (Fault f : c.faults) {
            EXPECT_EQ(card.card().faults().fired(f), c.met);
        }
    }
}

} // namespace
} // namespace kmb::test
