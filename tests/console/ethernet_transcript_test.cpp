// The Ethernet entries of the KMB test menu as the operator sees them on the simulated card.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

using EthernetTranscript = SimTranscript;

const std::string kPhyDump = "BMCR:  0x3100\n"
                             "BMSR:  0x786d\n"
                             "PHYIDR1:  0x2f4b\n"
                             "PHYIDR2:  0x5c21\n"
                             "ANAR:  0x1e1\n"
                             "ANLPAR:  0x41e1\n"
                             "ANER:  0x4\n"
                             "ANNPTR:  0x2001\n"
                             "PHYSTS:  0x15\n"
                             "FCSCR:  0x0\n"
                             "RECR:  0x0\n"
                             "PCSR:  0x100\n"
                             "PHYCTRL:  0xffff8c01\n"
                             "10BTSCR:  0x804\n"
                             "CDCTRL:  0x2\n";

TEST_F(EthernetTranscript, HiddenTenDumpsThePhyAndElevenEditsIt)
{
    // 11 writes forced 10 Mb/s half duplex without negotiation; Enter runs 11 again, whose
    // register line shows it, and 10 then dumps the PHY as it stands.
    const SimRun r = run("kmb\n10\n11\n0\ny\n0\n\n0\nn\n10\n99\nexit\n");
    const std::string after_write = "BMCR:  0x0\nBMSR:  0x784d\n";
    EXPECT_TRUE(transcript_is(
        r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + kPhyDump + kmb_cycle(10) +
                   "please type the register #(hex):  \nreg 0x0 = 0x3100\ndo you want to write to it? "
                   "Please enter the value(hex): 0x" +
                   kmb_cycle(11) + "please type the register #(hex):  \nreg 0x0 = 0x0\ndo you want to write to it? " +
                   kmb_cycle(11) + after_write + kPhyDump.substr(kPhyDump.find("PHYIDR1"), kPhyDump.find("ANLPAR") - kPhyDump.find("PHYIDR1")) +
                   "ANLPAR:  0x0\nANER:  0x4\nANNPTR:  0x2001\nPHYSTS:  0x3\n" +
                   kPhyDump.substr(kPhyDump.find("FCSCR")) + kmb_cycle(10) + top_cycle()));
    EXPECT_EQ(r.err, "");
}

TEST_F(EthernetTranscript, NineRunsTheEightSettingsHealthyAndUnderEachFault)
{
    const std::string link = "Link not established\n";
    auto failed = [](int run, const std::string& before) { return before + kEthLabels[run] + "FAILED\n" + kEthHints; };
    // Only the runs that pass reach their transfer cycles and step the spinner.
    auto passed = [](int run, int done) { return eth_run_passed(run, done); };
    struct Case {
        const char* fault; // nullptr: a healthy card
        std::string out;
        std::string err;
    };
    std::string all_failed_no_ip;
    std::string all_failed_link;
    std::string all_failed_reset;
    std::string all_failed_arp;
    std::string arp_err;
    for (int i = 0; i < 8; ++i) {
        all_failed_no_ip += failed(i, "");
        all_failed_link += failed(i, link);
        all_failed_reset += failed(i, "fail reset phy\n" + link);
        all_failed_arp += failed(i, "fail set arp\n");
        arp_err += "can't set arp: Operation not permitted\ncan't set arp: No such device or address\n";
    }
    const Case cases[] = {
        {nullptr, eth_loopback_passed(0), ""},
        {"eth-no-cable",
         passed(0, 0) + passed(1, 5) + failed(2, link) + failed(3, link) + passed(4, 10) + passed(5, 15) +
             failed(6, link) + failed(7, link),
         ""},
        {"eth-no-ip", all_failed_no_ip, repeat("can't get ip address\n", 8)},
        {"eth-link-down", all_failed_link, ""},
        {"phy-reset-stuck", all_failed_reset, ""},
        {"arp-refused", all_failed_arp, arp_err},
        {"iptables-absent", eth_loopback_passed(0), repeat("sh: iptables: not found\n", 48)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault != nullptr ? c.fault : "healthy");
        const SimRun r = run("kmb\n9\n99\nexit\n", c.fault != nullptr ? std::vector<std::string>{"--fault", c.fault}
                                                                      : std::vector<std::string>{});
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + c.out + kmb_cycle(9) + top_cycle()));
        EXPECT_EQ(r.err, c.err);
    }
}

TEST_F(EthernetTranscript, HiddenTwentyToTwentyFourRunTheirFourSettings)
{
    // Runs by their place in the full test's order (Int/Ext, 10/100, Full/Half).
    const int int10f = 0, int10h = 1, ext10f = 2, ext10h = 3, int100f = 4, int100h = 5, ext100f = 6, ext100h = 7;
    struct Case {
        int number;
        int runs[4];
    };
    const Case cases[] = {
        {20, {int100f, ext100f, int100h, ext100h}},
        {21, {int10f, ext10f, int10h, ext100h}}, // the fourth at 100 Mb/s
        {22, {int10f, int100f, ext10f, ext100f}},
        {23, {int10h, int10f, int100h, int100f}},
        {24, {ext10h, ext10f, ext100h, ext100f}},
    };
    for (const Case& c : cases) {
        const std::string n = std::to_string(c.number);
        const SimRun r = run("kmb\n" + n + "\n99\nexit\n", {"--fault", "eth-no-cable"});
        // Without a cable each external run fails at its link wait; the internal ones pass.
        std::string expected;
        int done = 0;
        for (int run : c.runs) {
            const bool external = run == ext10f || run == ext10h || run == ext100f || run == ext100h;
            expected += external ? "Link not established\n" + kEthLabels[run] + "FAILED\n" + kEthHints
                                 : eth_run_passed(run, done);
            done += external ? 0 : kEthCycles;
        }
        EXPECT_TRUE(transcript_is(r.out, kFreshCpld + top_cycle() + kmb_cycle(0) + expected + kmb_cycle(c.number) + top_cycle()))
            << n;
        EXPECT_EQ(r.err, "") << n;
    }
}

} // namespace
} // namespace kmb::test
